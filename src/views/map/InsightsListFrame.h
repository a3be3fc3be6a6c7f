#pragma once

#include <QWidget>

class QLabel;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace tarnwick {

// What the insights lists share: a title over a subtitle, a divider, and
// below it either the list's items in a scroll area or, with nothing to list,
// one line of text in the middle of the remaining height.
class InsightsListFrame : public QWidget {
    Q_OBJECT

public:
    QString title() const;
    QString subtitle() const;
    QString emptyText() const;
    bool isShowingEmptyText() const;

protected:
    InsightsListFrame(const QString& title, const QString& subtitle, const QString& emptyText, int emptyPixelSize,
                      QWidget* parent);

    // The layout the items go into, and the widget holding it.
    QVBoxLayout* itemsLayout() const { return items_; }
    QWidget* itemsHost() const { return itemsHost_; }
    // Removes every item (and anything else) from the items layout.
    void clearItems();
    // Shows the empty text instead of the items, or the items.
    void showEmptyText(bool empty);
    QScrollArea* scrollArea() const { return scroll_; }

private:
    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QLabel* empty_ = nullptr;
    QStackedWidget* body_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* itemsHost_ = nullptr;
    QVBoxLayout* items_ = nullptr;
};

}  // namespace tarnwick
