#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QStackedWidget;

namespace tarnwick {

class AppState;
class ScrollColumn;
struct ActivityEvent;

// The Activity section: the log's lifetime totals with a refresh button over
// the newest logged events. Showing the screen and "Refresh" both read the
// newest 100 events from the log again; the totals are read from the log each
// time the header is updated, so they cover every stored event.
class ActivityView : public QWidget {
    Q_OBJECT

public:
    explicit ActivityView(AppState& state, QWidget* parent = nullptr);

    // Reads the log again into the state (and so into the list) and updates the header.
    void refresh();

    // "Lifetime freed 1.5 MB · 12 items".
    static QString headerLine(qint64 lifetimeBytesFreed, qint64 lifetimeItems);
    // The byte figure of a row: only for a positive count.
    static std::optional<QString> bytesText(qint64 bytesFreed);
    // The row's date relative to now ("2 hr. ago").
    static QString dateText(const QDateTime& date, const QDateTime& now);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void updateHeader();
    void rebuildRows();
    QWidget* makeRow(const ActivityEvent& event, const QDateTime& now);

    AppState& state_;
    QLabel* totals_ = nullptr;
    QStackedWidget* body_ = nullptr;
    ScrollColumn* list_ = nullptr;
};

}  // namespace tarnwick
