#pragma once

#include <QDateTime>
#include <QList>
#include <QWidget>

class QStackedWidget;

namespace tarnwick {

class AppState;
class ModuleHeader;
class ScrollColumn;
class TaldoButton;
struct SafeBinEntry;

// The Safe Bin section: what the cleans and deletes moved into the Safe Bin,
// newest first, each with "Restore" and "Delete forever". Showing the screen
// and "Refresh" remove what has been there more than 30 days and read the
// list again. The buttons are disabled while a move runs.
class SafeBinView : public QWidget {
    Q_OBJECT

public:
    explicit SafeBinView(AppState& state, QWidget* parent = nullptr);

    static QString emptyText() { return QStringLiteral("Safe Bin is empty."); }

    ModuleHeader* header() const { return header_; }
    TaldoButton* refreshButton() const { return refresh_; }
    // The rows on display, in list order.
    QList<QWidget*> rows() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void rebuildRows();
    void updateButtons();
    QWidget* makeRow(const SafeBinEntry& entry, const QDateTime& now);

    AppState& state_;
    ModuleHeader* header_ = nullptr;
    TaldoButton* refresh_ = nullptr;
    QStackedWidget* body_ = nullptr;
    ScrollColumn* list_ = nullptr;
};

}  // namespace tarnwick
