#include "views/map/ContentsSidebarView.h"

#include "design/SymbolIcons.h"
#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"
#include "support/ByteCountFormatter.h"
#include "views/common/HairlineDivider.h"
#include "views/map/MapColors.h"
#include "views/common/ViewText.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kListInsetY = 6;      // above the first and below the last row
constexpr int kRowInsetX = 6;       // outside each row
constexpr int kRowSpacing = 2;
constexpr int kPadX = 12;           // inside each row
constexpr int kPadY = 8;
constexpr int kLineSpacing = 4;     // between the first line and the bar
constexpr int kIconFrame = 16;
constexpr int kIconSize = 12;
constexpr int kItemSpacing = 10;
constexpr int kBarHeight = 3;
constexpr int kBarIndent = 26;
constexpr double kMinimumBar = 4.0;

QFont nameFont() {
    return ViewText::font(13, QFont::Medium);
}

QFont sizeFont() {
    return ViewText::font(12, QFont::DemiBold);
}

int firstLineHeight() {
    return std::max({QFontMetrics(nameFont()).height(), QFontMetrics(sizeFont()).height(), kIconFrame});
}

int rowHeight() {
    return kPadY + firstLineHeight() + kLineSpacing + kBarHeight + kPadY;
}

}  // namespace

// The scrolled list: paints the rows that are exposed and turns clicks and
// menu requests into row actions.
class ContentsSidebarView::RowsWidget : public QWidget {
public:
    explicit RowsWidget(ContentsSidebarView& owner, QWidget* parent) : QWidget(parent), owner_(owner) {
    }

    void resizeForRows() {
        const int rows = owner_.rowCount();
        const int height = rows == 0 ? 2 * kListInsetY : 2 * kListInsetY + rows * rowHeight() + (rows - 1) * kRowSpacing;
        setFixedHeight(height);
        update();
    }

    QRect rowRect(int row) const {
        return QRect(kRowInsetX, kListInsetY + row * (rowHeight() + kRowSpacing), width() - 2 * kRowInsetX,
                     rowHeight());
    }

    int rowAt(const QPoint& point) const {
        const int step = rowHeight() + kRowSpacing;
        const int offset = point.y() - kListInsetY;
        if (offset < 0) return -1;
        const int row = offset / step;
        if (row >= owner_.rowCount() || !rowRect(row).contains(point)) return -1;
        return row;
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const int step = rowHeight() + kRowSpacing;
        const int first = std::max(0, (event->rect().top() - kListInsetY) / step);
        const int last = std::min(owner_.rowCount() - 1, (event->rect().bottom() - kListInsetY) / step);
        const int highlighted = owner_.highlightedRow();
        for (int row = first; row <= last; ++row) paintRow(painter, row, row == highlighted);
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        const int row = rowAt(event->position().toPoint());
        if (row >= 0) owner_.clickRow(row);
    }

    void mousePressEvent(QMouseEvent* event) override { event->accept(); }

    void contextMenuEvent(QContextMenuEvent* event) override {
        const int row = rowAt(event->pos());
        if (row < 0) return;
        const std::unique_ptr<QMenu> menu = owner_.contextMenu(row, this);
        menu->exec(event->globalPos());
    }

private:
    void paintRow(QPainter& painter, int row, bool highlighted) {
        const ScanNode& node = *owner_.nodes_[size_t(row)];
        const QRect outer = rowRect(row);
        if (highlighted) {
            painter.fillPath(TaldoShapes::roundedRect(QRectF(outer), 6), T::withOpacity(T::accent(), 0.15));
        }
        const QRect content = outer.adjusted(kPadX, kPadY, -kPadX, -kPadY);
        const QColor color = iconColor(node);
        const int lineHeight = firstLineHeight();
        const QRect line(content.left(), content.top(), content.width(), lineHeight);

        const QRect iconRect(line.left() + (kIconFrame - kIconSize) / 2, line.center().y() - kIconSize / 2 + 1,
                             kIconSize, kIconSize);
        SymbolIcons::icon(symbolName(node.kind), color, kIconSize).paint(&painter, iconRect);

        const QString size = sizeText(node.size);
        const QFontMetrics sizeMetrics(sizeFont());
        const int sizeWidth = sizeMetrics.horizontalAdvance(size);
        const QRect sizeRect(line.right() - sizeWidth + 1, line.top(), sizeWidth, lineHeight);
        painter.setFont(sizeFont());
        painter.setPen(T::accent());
        painter.drawText(sizeRect, Qt::AlignRight | Qt::AlignVCenter, size);

        const int nameLeft = line.left() + kIconFrame + kItemSpacing;
        const int nameRight = sizeRect.left() - 8;  // the flexible space is at least 8 wide
        const QRect nameRect(nameLeft, line.top(), std::max(0, nameRight - nameLeft), lineHeight);
        painter.setFont(nameFont());
        painter.setPen(T::textPrimary());
        painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetrics(nameFont()).elidedText(node.name, Qt::ElideRight, nameRect.width()));

        const QRectF bar(content.left() + kBarIndent, line.bottom() + 1 + kLineSpacing,
                         std::max(0, content.width() - kBarIndent), kBarHeight);
        painter.fillPath(TaldoShapes::capsule(bar), QColor(255, 255, 255, int(0.06 * 255)));
        const double filled = filledBarWidth(bar.width(), share(node.size, owner_.maxSize_));
        painter.fillPath(TaldoShapes::capsule(QRectF(bar.left(), bar.top(), filled, bar.height())),
                         T::withOpacity(color, 0.85));
    }

    ContentsSidebarView& owner_;
};

ContentsSidebarView::ContentsSidebarView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ContentsSidebarView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = ViewText::label(QStringLiteral("Contents"), 11, QFont::DemiBold, T::textSecondary(), this);
    header->setObjectName(QStringLiteral("contentsHeader"));
    header->setContentsMargins(14, 10, 14, 10);
    layout->addWidget(header);
    layout->addWidget(new HairlineDivider(Qt::Horizontal, this));

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("contentsList"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->viewport()->setAutoFillBackground(false);
    rows_ = new RowsWidget(*this, scroll_);
    scroll_->setWidget(rows_);
    rows_->setAutoFillBackground(false);  // after setWidget(), which turns it on
    rows_->resizeForRows();
    layout->addWidget(scroll_, 1);
}

ContentsSidebarView::~ContentsSidebarView() = default;

void ContentsSidebarView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), T::panel());
}

void ContentsSidebarView::setActions(Actions actions) {
    actions_ = std::move(actions);
}

void ContentsSidebarView::setNodes(std::vector<ScanNodePtr> nodes) {
    std::erase(nodes, nullptr);
    const bool sameRows = nodes == nodes_;
    nodes_ = std::move(nodes);
    maxSize_ = maxSize(nodes_);
    if (!sameRows) scroll_->verticalScrollBar()->setValue(0);
    rows_->resizeForRows();
}

void ContentsSidebarView::setHovered(ScanNodePtr node) {
    const bool before = hovered_ != nullptr;
    const QUuid oldId = hovered_ ? hovered_->id : QUuid();
    hovered_ = std::move(node);
    if (before != (hovered_ != nullptr) || (hovered_ && hovered_->id != oldId)) rows_->update();
}

int ContentsSidebarView::highlightedRow() const {
    if (!hovered_) return -1;
    for (size_t i = 0; i < nodes_.size(); ++i) {
        if (nodes_[i]->id == hovered_->id) return int(i);
    }
    return -1;
}

void ContentsSidebarView::clickRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    const ScanNodePtr node = nodes_[size_t(row)];  // the callback may replace the rows
    if (actions_.onSelect) actions_.onSelect(node);
}

std::unique_ptr<QMenu> ContentsSidebarView::contextMenu(int row, QWidget* parent) const {
    auto menu = std::make_unique<QMenu>(parent);
    if (row < 0 || row >= rowCount()) return menu;
    const ScanNodePtr node = nodes_[size_t(row)];
    const Actions actions = actions_;
    if (isContainer(*node)) {
        menu->addAction(QStringLiteral("Open"), [actions, node] {
            if (actions.onSelect) actions.onSelect(node);
        });
    }
    menu->addAction(QStringLiteral("Move to Collector"), [actions, node] {
        if (actions.onCollect) actions.onCollect(node);
    });
    menu->addAction(QStringLiteral("Reveal in File Manager"), [actions, node] {
        if (actions.onReveal) actions.onReveal(node);
    });
    return menu;
}

QRect ContentsSidebarView::rowRect(int row) const {
    return rows_->rowRect(row);
}

double ContentsSidebarView::filledBarWidth(double barWidth, double share) {
    return std::max(kMinimumBar, barWidth * share);
}

bool ContentsSidebarView::isContainer(const ScanNode& node) {
    return !node.children.empty() && (node.kind == NodeKind::dir || node.kind == NodeKind::smallGroup);
}

QString ContentsSidebarView::symbolName(NodeKind kind) {
    switch (kind) {
    case NodeKind::dir:
        return QStringLiteral("folder.fill");
    case NodeKind::file:
        return QStringLiteral("doc");
    case NodeKind::smallGroup:
        return QStringLiteral("ellipsis.circle");
    case NodeKind::restricted:
        return QStringLiteral("lock.fill");
    case NodeKind::virtual_:
        return QStringLiteral("internaldrive.fill");
    }
    return QStringLiteral("doc");
}

QColor ContentsSidebarView::iconColor(const ScanNode& node) {
    switch (node.kind) {
    case NodeKind::dir:
        return MapColors::forName(node);
    case NodeKind::file:
        return T::fileColor();
    case NodeKind::smallGroup:
        return T::textSecondary();
    case NodeKind::restricted:
        return T::restrictedColor();
    case NodeKind::virtual_:
        return T::virtualColor();
    }
    return T::fileColor();
}

qint64 ContentsSidebarView::maxSize(const std::vector<ScanNodePtr>& nodes) {
    if (nodes.empty()) return 1;
    qint64 largest = nodes.front()->size;
    for (const ScanNodePtr& node : nodes) largest = std::max(largest, node->size);
    return largest;
}

double ContentsSidebarView::share(qint64 size, qint64 maxSize) {
    return maxSize > 0 ? double(size) / double(maxSize) : 0.0;
}

QString ContentsSidebarView::sizeText(qint64 size) {
    return ByteCountFormatter::fileStyle(std::max<qint64>(size, 0));
}

QString ContentsSidebarView::accessibleLabel(const ScanNode& node) {
    return isContainer(node) ? QStringLiteral("Open ") + node.name : node.name;
}

QString ContentsSidebarView::accessibleHint(const ScanNode& node) {
    return isContainer(node) ? QStringLiteral("Shows contents of this folder") : QStringLiteral("Selects this item");
}

}  // namespace tarnwick
