#include "views/map/BreadcrumbBar.h"

#include "design/SymbolIcons.h"
#include "design/TaldoTheme.h"
#include "views/common/PlainButton.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace tarnwick {

namespace {

using T = TaldoTheme;

}  // namespace

BreadcrumbBar::BreadcrumbBar(QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("BreadcrumbBar"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    viewport()->setAutoFillBackground(false);
    host_ = new QWidget(this);
    layout_ = new QHBoxLayout(host_);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(4);
    setWidget(host_);
    host_->setAutoFillBackground(false);  // after setWidget(), which turns it on
}

void BreadcrumbBar::setOnClick(std::function<void(const ScanNodePtr&)> onClick) {
    onClick_ = std::move(onClick);
}

std::vector<ScanNodePtr> BreadcrumbBar::chain(const ScanNodePtr& focus) {
    std::vector<ScanNodePtr> nodes;
    for (ScanNodePtr node = focus; node; node = node->parent()) nodes.push_back(node);
    std::reverse(nodes.begin(), nodes.end());
    return nodes;
}

void BreadcrumbBar::setFocusNode(const ScanNodePtr& focus) {
    while (QLayoutItem* item = layout_->takeAt(0)) {
        // Later: the click that changed the focus may still be running in its button.
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    elements_.clear();
    chevrons_ = 0;
    const std::vector<ScanNodePtr> nodes = chain(focus);
    for (size_t i = 0; i < nodes.size(); ++i) {
        const ScanNodePtr& node = nodes[i];
        const bool last = i + 1 == nodes.size();
        if (i >= 1) {
            auto* chevron = new QLabel(host_);
            chevron->setPixmap(SymbolIcons::icon(QStringLiteral("chevron.right"), T::textSecondary(), 9).pixmap(9, 9));
            layout_->addWidget(chevron, 0, Qt::AlignVCenter);
            ++chevrons_;
        }
        auto* button = new PlainButton(node->name, host_);
        button->setObjectName(QStringLiteral("breadcrumbElement"));
        button->setFont(ViewText::font(12, last ? QFont::DemiBold : QFont::Normal));
        button->setTextColor(last ? T::textPrimary() : T::textSecondary());
        connect(button, &QAbstractButton::clicked, this, [this, weak = std::weak_ptr<ScanNode>(node)] {
            if (ScanNodePtr target = weak.lock(); target && onClick_) onClick_(target);
        });
        layout_->addWidget(button, 0, Qt::AlignVCenter);
        elements_.append(button);
    }
    layout_->addStretch(1);
    setFixedHeight(std::max(host_->sizeHint().height(), 18));
    updateGeometry();
    // Keep the focus in view once the new chain is laid out.
    QTimer::singleShot(0, this, [this] { horizontalScrollBar()->setValue(horizontalScrollBar()->maximum()); });
}

QSize BreadcrumbBar::sizeHint() const {
    return QSize(host_->sizeHint().width(), host_->sizeHint().height());
}

QSize BreadcrumbBar::minimumSizeHint() const {
    return QSize(std::min(host_->sizeHint().width(), 120), host_->sizeHint().height());
}

}  // namespace tarnwick
