#pragma once

#include <QWidget>

class QLabel;

namespace tarnwick {

class AppState;
class BusySpinner;
class PathLineLabel;
class TaldoGhostButton;
struct ScanProgress;

// What the detail area shows while a map scan runs: a turning indicator, the
// name of the root being scanned, the files and bytes counted so far with the
// path handled last, and a Cancel button. It follows AppState::progress as it
// is published and keeps no timer of its own.
class ScanningView : public QWidget {
    Q_OBJECT

public:
    explicit ScanningView(AppState& state, QWidget* parent = nullptr);

    // "Scanning Backup…".
    static QString titleText(const QString& rootName);
    // "1234 items · 1.5 MB".
    static QString countsText(const ScanProgress& progress);

    QString title() const;
    QString counts() const;
    QString currentPath() const;
    TaldoGhostButton* cancelButton() const { return cancel_; }

private:
    void refresh();

    AppState& state_;
    BusySpinner* spinner_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* counts_ = nullptr;
    PathLineLabel* path_ = nullptr;
    TaldoGhostButton* cancel_ = nullptr;
};

}  // namespace tarnwick
