#include "views/map/VolumeChooserView.h"

#include "design/SymbolIcons.h"
#include "design/TaldoGhostButton.h"
#include "design/TaldoGlowButton.h"
#include "design/TaldoHoverGlass.h"
#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"
#include "platform/Environment.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "views/common/ElidedLabel.h"
#include "views/common/ViewText.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kColumnWidth = 640;
constexpr double kNearlyFull = 0.9;

VolumeChooserView::FolderPicker& pickerSlot() {
    static VolumeChooserView::FolderPicker picker;
    return picker;
}

QString platformFolderDialog(QWidget* parent) {
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Choose a Folder to Scan"),
                                             Environment::current().homeDirectory);
}

// How full a volume is: a faint track and the used part, amber when nearly full.
class UsageBar : public QWidget {
public:
    UsageBar(double share, QWidget* parent) : QWidget(parent), share_(std::clamp(share, 0.0, 1.0)) {
        setFixedHeight(6);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF track(rect());
        painter.fillPath(TaldoShapes::capsule(track), QColor(255, 255, 255, int(0.08 * 255)));
        if (share_ <= 0) return;
        const double filled = std::max(track.height(), track.width() * share_);
        painter.fillPath(TaldoShapes::capsule(QRectF(track.left(), track.top(), filled, track.height())),
                         share_ >= kNearlyFull ? T::warning() : T::accentTeal());
    }

private:
    double share_;
};

}  // namespace

VolumeChooserView::VolumeChooserView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("VolumeChooserView"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    auto* page = new QWidget(scroll);
    auto* pageLayout = new QHBoxLayout(page);
    pageLayout->setContentsMargins(24, 36, 24, 36);
    pageLayout->addStretch(1);

    auto* column = new QWidget(page);
    column->setMaximumWidth(kColumnWidth);
    column->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* title = ViewText::label(QStringLiteral("Space Map"), 24, QFont::Bold, T::textPrimary(), column);
    layout->addWidget(title);
    layout->addSpacing(6);
    auto* subtitle = ViewText::label(QStringLiteral("Choose a volume or a folder to see where its space goes."), 13,
                                     QFont::Normal, T::textSecondary(), column);
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);
    layout->addSpacing(22);

    layout->addWidget(ViewText::label(QStringLiteral("Volumes"), 12, QFont::DemiBold, T::textSecondary(), column));
    layout->addSpacing(10);
    cardsHost_ = new QWidget(column);
    cards_ = new QVBoxLayout(cardsHost_);
    cards_->setContentsMargins(0, 0, 0, 0);
    cards_->setSpacing(12);
    layout->addWidget(cardsHost_);
    empty_ = ViewText::label(QStringLiteral("No volumes found. Choose a folder to scan instead."), 13, QFont::Normal,
                             T::textSecondary(), column);
    empty_->setObjectName(QStringLiteral("volumesEmpty"));
    layout->addWidget(empty_);
    layout->addSpacing(22);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(12);
    chooseFolder_ = new TaldoGhostButton(QStringLiteral("Choose Folder\u2026"), column);
    chooseFolder_->setObjectName(QStringLiteral("chooseFolder"));
    chooseFolder_->setSymbol(QStringLiteral("folder"));
    connect(chooseFolder_, &QPushButton::clicked, this, &VolumeChooserView::chooseFolder);
    actions->addWidget(chooseFolder_);
    showMap_ = new TaldoGhostButton(QStringLiteral("Show Map"), column);
    showMap_->setObjectName(QStringLiteral("showMap"));
    showMap_->setSymbol(QStringLiteral("circle.grid.cross"));
    connect(showMap_, &QPushButton::clicked, this, &VolumeChooserView::mapRequested);
    actions->addWidget(showMap_);
    actions->addStretch(1);
    layout->addLayout(actions);
    layout->addStretch(1);

    pageLayout->addWidget(column, 100);
    pageLayout->addStretch(1);
    scroll->setWidget(page);
    page->setAutoFillBackground(false);  // after setWidget(), which turns it on
    outer->addWidget(scroll);

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field == AppState::Field::volumes) rebuildCards();
        if (field == AppState::Field::rootNode) updateShowMap();
    });
    rebuildCards();
    updateShowMap();
}

void VolumeChooserView::setFolderPicker(FolderPicker picker) {
    pickerSlot() = std::move(picker);
}

QString VolumeChooserView::usageText(const VolumeInfo& volume) {
    return ByteCountFormatter::fileStyle(volume.used()) + QStringLiteral(" used of ") +
           ByteCountFormatter::fileStyle(volume.totalBytes);
}

double VolumeChooserView::usedShare(const VolumeInfo& volume) {
    if (volume.totalBytes <= 0) return 0.0;
    return std::clamp(double(volume.used()) / double(volume.totalBytes), 0.0, 1.0);
}

void VolumeChooserView::scanVolume(const VolumeInfo& volume) {
    state_.startScan(volume.scanPath, volume.name);
}

void VolumeChooserView::chooseFolder() {
    const FolderPicker& picker = pickerSlot();
    const QString folder = picker ? picker(this) : platformFolderDialog(this);
    if (folder.isEmpty()) return;
    state_.startScan(folder, std::nullopt);
}

QList<QWidget*> VolumeChooserView::volumeCards() const {
    QList<QWidget*> result;
    for (int i = 0; i < cards_->count(); ++i) {
        if (QWidget* widget = cards_->itemAt(i)->widget()) result.append(widget);
    }
    return result;
}

TaldoGlowButton* VolumeChooserView::scanButton(int index) const {
    return scanButtons_.value(index);
}

bool VolumeChooserView::isShowingEmptyText() const {
    return !empty_->isHidden();
}

void VolumeChooserView::rebuildCards() {
    while (QLayoutItem* item = cards_->takeAt(0)) {
        // Later: a refresh may come while a card's button is being clicked.
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    scanButtons_.clear();
    for (const VolumeInfo& volume : state_.volumes()) cards_->addWidget(makeCard(volume));
    empty_->setHidden(!state_.volumes().empty());
}

void VolumeChooserView::updateShowMap() {
    showMap_->setVisible(state_.rootNode() != nullptr);
}

QWidget* VolumeChooserView::makeCard(const VolumeInfo& volume) {
    auto* card = new TaldoHoverGlass(14, T::accentTeal(), false, cardsHost_);
    card->setObjectName(QStringLiteral("volumeCard"));
    card->setProperty("volumePath", volume.path);
    auto* layout = new QHBoxLayout(card);
    layout->setContentsMargins(18, 14, 18, 14);
    layout->setSpacing(16);

    auto* icon = new QLabel(card);
    const QString symbol = volume.isRoot ? QStringLiteral("internaldrive.fill") : QStringLiteral("internaldrive");
    icon->setPixmap(SymbolIcons::icon(symbol, T::accentTeal(), 28).pixmap(28, 28));
    layout->addWidget(icon, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto* name = new ElidedLabel(volume.name, Qt::ElideRight, card);
    name->setObjectName(QStringLiteral("volumeName"));
    name->setFont(ViewText::font(15, QFont::DemiBold));
    ViewText::setTextColor(name, T::textPrimary());
    texts->addWidget(name);
    auto* path = new ElidedLabel(volume.path, Qt::ElideMiddle, card);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(10);
    path->setFont(mono);
    ViewText::setTextColor(path, T::textSecondary());
    texts->addWidget(path);
    texts->addSpacing(4);
    texts->addWidget(new UsageBar(usedShare(volume), card));
    auto* usage = ViewText::label(usageText(volume), 11, QFont::Normal, T::textSecondary(), card);
    usage->setObjectName(QStringLiteral("volumeUsage"));
    texts->addWidget(usage);
    layout->addLayout(texts, 1);

    auto* scan = new TaldoGlowButton(T::accentTeal(), QStringLiteral("Scan"), card);
    scan->setObjectName(QStringLiteral("volumeScan"));
    scan->setSymbol(QStringLiteral("magnifyingglass"));
    connect(scan, &QPushButton::clicked, this, [this, volume] { scanVolume(volume); });
    layout->addWidget(scan, 0, Qt::AlignVCenter);
    scanButtons_.append(scan);
    return card;
}

}  // namespace tarnwick
