#pragma once

#include "views/cleanup/SafeBinRowDelegate.h"

#include <QAbstractItemView>
#include <QPersistentModelIndex>

#include <optional>

namespace tarnwick {

// The Safe Bin's rows in a scrolling list. Every row has the same height, so
// a row's place follows from its number: the list draws only the rows in view,
// and rows coming or going cost the same however long the list is. Each row
// is painted by SafeBinRowDelegate. Its painted buttons answer the pointer
// (hover, press, click on release over the same button) and the keyboard:
// the list is one stop of the Tab chain, entered at its current row (the
// first one the first time); Up, Down and the page keys move between rows,
// Left and Right choose "Restore" or "Delete forever" of the current row,
// and Space or Return presses it. While the list has the focus, the button
// the keys act on bears the focus ring.
class SafeBinListView : public QAbstractItemView {
    Q_OBJECT

public:
    using Button = SafeBinRowDelegate::Button;

    explicit SafeBinListView(QWidget* parent = nullptr);

    // While off, the buttons are drawn dimmed and do nothing.
    void setButtonsEnabled(bool enabled);
    bool buttonsEnabled() const { return enabled_; }
    // Where a row's button is drawn, in the viewport's coordinates.
    QRect buttonRect(int row, Button button) const;
    // The button under a point of the viewport (none between them), and its row.
    Button buttonAt(const QPoint& point, QModelIndex* row = nullptr) const;
    // The button of the current row that Space or Return presses.
    Button keyboardButton() const { return keyboardButton_; }

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    void doItemsLayout() override;

signals:
    void buttonClicked(int row, tarnwick::SafeBinRowDelegate::Button button);

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex&) const override { return false; }
    void setSelection(const QRect&, QItemSelectionModel::SelectionFlags) override {}
    QRegion visualRegionForSelection(const QItemSelection&) const override { return {}; }
    void updateGeometries() override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool viewportEvent(QEvent* event) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

private:
    // Space above the first row and below the last; it scrolls with them.
    static constexpr int kTopMargin = 8;
    static constexpr int kBottomMargin = 8;

    int rowCount() const;
    SafeBinRowDelegate::ButtonLook lookOf(const QModelIndex& index, Button button) const;
    void hoverAt(const std::optional<QPoint>& point);
    void updateRow(const QModelIndex& index);
    // Makes the first row current when none is and there are rows.
    void ensureCurrentRow();

    int rowHeight_ = 0;
    bool enabled_ = true;
    // The pointer's place over the viewport, while it is there.
    std::optional<QPoint> pointer_;
    QPersistentModelIndex hoverRow_;
    Button hoverButton_ = Button::none;
    // The button held down, and whether the pointer is still over it.
    QPersistentModelIndex pressRow_;
    Button pressButton_ = Button::none;
    bool pressInside_ = false;
    Button keyboardButton_ = Button::restore;
};

}  // namespace tarnwick
