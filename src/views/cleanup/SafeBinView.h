#pragma once

#include <QWidget>

class QStackedWidget;

namespace tarnwick {

class AppState;
class ModuleHeader;
class SafeBinListModel;
class SafeBinListView;
class TaldoButton;

// The Safe Bin section: what the cleans and deletes moved into the Safe Bin,
// newest first, each with "Restore" and "Delete forever". Showing the screen
// and "Refresh" remove what has been there more than 30 days and read the
// list again. The row buttons are disabled while a move runs.
//
// The rows follow each change of the list row by row. While the screen is
// hidden it does nothing with them: at the first change it lets go of its
// rows, and when it is shown again it takes the list as it is then.
class SafeBinView : public QWidget {
    Q_OBJECT

public:
    explicit SafeBinView(AppState& state, QWidget* parent = nullptr);

    static QString emptyText() { return QStringLiteral("Safe Bin is empty."); }

    ModuleHeader* header() const { return header_; }
    TaldoButton* refreshButton() const { return refresh_; }
    SafeBinListView* list() const { return list_; }
    SafeBinListModel* model() const { return model_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void followList();
    void showBody();

    AppState& state_;
    ModuleHeader* header_ = nullptr;
    TaldoButton* refresh_ = nullptr;
    QStackedWidget* body_ = nullptr;
    SafeBinListModel* model_ = nullptr;
    SafeBinListView* list_ = nullptr;
    // Changes came while hidden: the rows are read whole when shown.
    bool stale_ = true;
};

}  // namespace tarnwick
