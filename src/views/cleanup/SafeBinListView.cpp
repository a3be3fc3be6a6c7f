#include "views/cleanup/SafeBinListView.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace tarnwick {

SafeBinListView::SafeBinListView(QWidget* parent) : QAbstractItemView(parent) {
    setObjectName(QStringLiteral("safeBinList"));
    setItemDelegate(new SafeBinRowDelegate(
        [this](const QModelIndex& index, Button button) { return lookOf(index, button); }, this));
    rowHeight_ = SafeBinRowDelegate::rowHeight(font());
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);  // the window's backdrop shows through
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

int SafeBinListView::rowCount() const {
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int SafeBinListView::verticalOffset() const {
    return verticalScrollBar()->value();
}

QRect SafeBinListView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != model() || index.row() >= rowCount()) return {};
    return {0, kTopMargin + index.row() * rowHeight_ - verticalOffset(), viewport()->width(), rowHeight_};
}

QModelIndex SafeBinListView::indexAt(const QPoint& point) const {
    const int y = point.y() + verticalOffset() - kTopMargin;
    if (!model() || y < 0 || point.x() < 0 || point.x() >= viewport()->width()) return {};
    const int row = y / rowHeight_;
    return row < rowCount() ? model()->index(row, 0, rootIndex()) : QModelIndex();
}

void SafeBinListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    const QRect rect = visualRect(index);
    if (!rect.isValid()) return;
    const int height = viewport()->height();
    int value = verticalOffset();
    if (hint == PositionAtTop || (hint == EnsureVisible && rect.top() < 0)) {
        value += rect.top();
    } else if (hint == PositionAtBottom || (hint == EnsureVisible && rect.bottom() >= height)) {
        value += rect.bottom() + 1 - height;
    } else if (hint == PositionAtCenter) {
        value += rect.center().y() - height / 2;
    }
    verticalScrollBar()->setValue(value);
}

QModelIndex SafeBinListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers) {
    const int count = rowCount();
    if (count == 0) return {};
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    const int page = std::max(1, viewport()->height() / rowHeight_);
    int row = current;
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        row = current < 0 ? 0 : current - 1;
        break;
    case MoveDown:
    case MoveNext:
        row = current + 1;
        break;
    case MovePageUp:
        row = current - page;
        break;
    case MovePageDown:
        row = current < 0 ? page - 1 : current + page;
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = count - 1;
        break;
    default:
        break;
    }
    return model()->index(std::clamp(row, 0, count - 1), 0, rootIndex());
}

void SafeBinListView::updateGeometries() {
    const int content = kTopMargin + rowCount() * rowHeight_ + kBottomMargin;
    const int height = viewport()->height();
    verticalScrollBar()->setRange(0, std::max(0, content - height));
    verticalScrollBar()->setPageStep(height);
    verticalScrollBar()->setSingleStep(std::max(1, rowHeight_ / 3));
    QAbstractItemView::updateGeometries();
}

void SafeBinListView::doItemsLayout() {
    QAbstractItemView::doItemsLayout();
    // The rows were read afresh under the focus: the keys act on the first.
    if (hasFocus()) ensureCurrentRow();
    // Rows came or went under the pointer: the button under it may be another.
    if (pointer_) {
        hoverButton_ = Button::none;
        hoverAt(pointer_);
    }
}

void SafeBinListView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsInserted(parent, start, end);
    scheduleDelayedItemsLayout();
}

void SafeBinListView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    scheduleDelayedItemsLayout();
}

void SafeBinListView::paintEvent(QPaintEvent* event) {
    const int count = rowCount();
    if (count == 0) return;
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QRect area = event->rect();
    const int offset = verticalOffset() - kTopMargin;
    const int first = std::max(0, (area.top() + offset) / rowHeight_);
    const int last = std::min(count - 1, (area.bottom() + offset) / rowHeight_);
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        option.rect = visualRect(index);
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void SafeBinListView::changeEvent(QEvent* event) {
    QAbstractItemView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        rowHeight_ = SafeBinRowDelegate::rowHeight(font());
        scheduleDelayedItemsLayout();
    }
}

void SafeBinListView::setButtonsEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (!enabled) {
        pressRow_ = QPersistentModelIndex();
        pressButton_ = Button::none;
    }
    viewport()->update();
}

QRect SafeBinListView::buttonRect(int row, Button button) const {
    if (!model() || row < 0 || row >= model()->rowCount()) return {};
    return SafeBinRowDelegate::buttonRect(visualRect(model()->index(row, 0)), button, font());
}

SafeBinListView::Button SafeBinListView::buttonAt(const QPoint& point, QModelIndex* row) const {
    const QModelIndex index = indexAt(point);
    if (row) *row = index;
    if (!index.isValid()) return Button::none;
    const QRect rowRect = visualRect(index);
    for (Button button : {Button::restore, Button::destroy}) {
        if (SafeBinRowDelegate::buttonRect(rowRect, button, font()).contains(point)) return button;
    }
    return Button::none;
}

SafeBinRowDelegate::ButtonLook SafeBinListView::lookOf(const QModelIndex& index, Button button) const {
    SafeBinRowDelegate::ButtonLook look;
    look.enabled = enabled_;
    look.hovered = hoverButton_ == button && hoverRow_ == index;
    look.pressed = pressInside_ && pressButton_ == button && pressRow_ == index;
    // The ring marks where Space or Return would act: whenever the list has
    // the focus, however it got it and whatever moved last.
    look.focused = hasFocus() && keyboardButton_ == button && currentIndex() == index;
    return look;
}

void SafeBinListView::updateRow(const QModelIndex& index) {
    if (index.isValid()) viewport()->update(visualRect(index));
}

void SafeBinListView::hoverAt(const std::optional<QPoint>& point) {
    pointer_ = point;
    QModelIndex row;
    const Button button = point ? buttonAt(*point, &row) : Button::none;
    if (button == hoverButton_ && (button == Button::none || row == hoverRow_)) return;
    updateRow(hoverRow_);
    hoverRow_ = button == Button::none ? QPersistentModelIndex() : QPersistentModelIndex(row);
    hoverButton_ = button;
    updateRow(hoverRow_);
}

void SafeBinListView::mousePressEvent(QMouseEvent* event) {
    QModelIndex row;
    const QPoint at = event->position().toPoint();
    const Button button = event->button() == Qt::LeftButton ? buttonAt(at, &row) : Button::none;
    if (button == Button::none) {
        QAbstractItemView::mousePressEvent(event);
        return;
    }
    event->accept();
    keyboardButton_ = button;
    setCurrentIndex(row);
    if (!enabled_) return;
    pressRow_ = row;
    pressButton_ = button;
    pressInside_ = true;
    updateRow(row);
}

void SafeBinListView::mouseDoubleClickEvent(QMouseEvent* event) {
    // A quick second click on a button is one more press of it.
    QModelIndex row;
    if (event->button() == Qt::LeftButton && buttonAt(event->position().toPoint(), &row) != Button::none) {
        mousePressEvent(event);
        return;
    }
    QAbstractItemView::mouseDoubleClickEvent(event);
}

void SafeBinListView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    hoverAt(at);
    if (pressButton_ == Button::none) {
        QAbstractItemView::mouseMoveEvent(event);
        return;
    }
    QModelIndex row;
    const bool inside = buttonAt(at, &row) == pressButton_ && row == pressRow_;
    if (inside != pressInside_) {
        pressInside_ = inside;
        updateRow(pressRow_);
    }
    event->accept();
}

void SafeBinListView::mouseReleaseEvent(QMouseEvent* event) {
    if (pressButton_ == Button::none) {
        QAbstractItemView::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    const QModelIndex row = pressRow_;
    const Button pressed = pressButton_;
    pressRow_ = QPersistentModelIndex();
    pressButton_ = Button::none;
    pressInside_ = false;
    updateRow(row);
    // A row that left while the button was held takes no click.
    QModelIndex over;
    if (row.isValid() && enabled_ && buttonAt(event->position().toPoint(), &over) == pressed && over == row) {
        emit buttonClicked(row.row(), pressed);
    }
}

void SafeBinListView::keyPressEvent(QKeyEvent* event) {
    ensureCurrentRow();
    const QModelIndex current = currentIndex();
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        keyboardButton_ = event->key() == Qt::Key_Left ? Button::restore : Button::destroy;
        updateRow(current);
        event->accept();
        return;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Select:
        event->accept();
        // A held key presses once.
        if (current.isValid() && enabled_ && !event->isAutoRepeat()) emit buttonClicked(current.row(), keyboardButton_);
        return;
    default:
        break;
    }
    QAbstractItemView::keyPressEvent(event);
}

void SafeBinListView::ensureCurrentRow() {
    if (currentIndex().isValid() || rowCount() == 0) return;
    setCurrentIndex(model()->index(0, 0, rootIndex()));
}

void SafeBinListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QAbstractItemView::currentChanged(current, previous);
    updateRow(previous);
    updateRow(current);
}

void SafeBinListView::focusInEvent(QFocusEvent* event) {
    QAbstractItemView::focusInEvent(event);
    // Tab enters where the list was left; the first row the first time.
    ensureCurrentRow();
    updateRow(currentIndex());
}

void SafeBinListView::focusOutEvent(QFocusEvent* event) {
    QAbstractItemView::focusOutEvent(event);
    updateRow(currentIndex());
}

bool SafeBinListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) hoverAt(std::nullopt);
    return QAbstractItemView::viewportEvent(event);
}

}  // namespace tarnwick
