#include "views/health/MenuBarView.h"

#include "design/BrandMark.h"
#include "design/TaldoGlassCard.h"
#include "design/TaldoTheme.h"
#include "platform/Environment.h"
#include "services/health/PerformanceService.h"
#include "state/AppState.h"
#include "views/common/ElidedLabel.h"
#include "views/common/FilledPanel.h"
#include "views/common/PlainButton.h"
#include "views/common/ViewText.h"
#include "views/health/MonitorTile.h"
#include "views/health/RecommendationCard.h"
#include "views/health/StorageBars.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEasingCurve>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QSettings>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace tarnwick {

namespace {

using T = TaldoTheme;
using Kind = MenuBarView::MonitorKind;

constexpr Kind kKinds[] = {Kind::health, Kind::protection, Kind::storage, Kind::memory, Kind::cpu, Kind::battery};
const QString kPlaceholder = QStringLiteral("\u2014");
constexpr int kAnimationMs = 180;

const QColor& themeColor(SystemMonitor::Tint tint) {
    switch (tint) {
    case SystemMonitor::Tint::accentTeal: return T::accentTeal();
    case SystemMonitor::Tint::accent: return T::accent();
    case SystemMonitor::Tint::warning: return T::warning();
    case SystemMonitor::Tint::danger: return T::danger();
    case SystemMonitor::Tint::textSecondary: break;
    }
    return T::textSecondary();
}

bool samplesProcesses(std::optional<Kind> kind) {
    return kind == Kind::memory || kind == Kind::cpu;
}

QString panelTitle(Kind kind) {
    switch (kind) {
    case Kind::health: return QStringLiteral("Computer health");
    case Kind::protection: return QStringLiteral("Protection");
    case Kind::storage: return QStringLiteral("System disk");
    case Kind::memory: return QStringLiteral("Memory hogs");
    case Kind::cpu: return QStringLiteral("Top CPU apps");
    case Kind::battery: return QStringLiteral("Battery");
    }
    return {};
}

QString buttonTitle(Kind kind) {
    switch (kind) {
    case Kind::health: return QStringLiteral("Vidur Aded");
    case Kind::protection: return QStringLiteral("Scan");
    case Kind::storage: return QStringLiteral("Clean Up");
    case Kind::memory: return QStringLiteral("Optimize");
    case Kind::cpu:
    case Kind::battery: return QStringLiteral("Open");
    }
    return {};
}

PlainButton* textButton(const QString& text, int pixelSize, QFont::Weight weight, const QColor& color,
                        QWidget* parent) {
    auto* button = new PlainButton(text, parent);
    button->setFont(ViewText::font(pixelSize, weight));
    button->setTextColor(color);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

}  // namespace

MenuBarView::MenuBarView(AppState& state, SystemMonitor& monitor, QWidget* parent)
    : QWidget(parent), state_(state), monitor_(monitor) {
    setObjectName(QStringLiteral("MenuBarView"));
    setFixedWidth(panelWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(12);
    layout->addWidget(buildHeader());

    recommendation_ = new RecommendationCard(this);
    recommendation_->setObjectName(QStringLiteral("recommendationCard"));
    connect(recommendation_, &RecommendationCard::clicked, this, [this] {
        state_.openSection(AppSection::home);
        state_.runVidurAded();
        openApp();
    });
    layout->addWidget(recommendation_);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    for (int i = 0; i < 6; ++i) {
        const Kind kind = kKinds[i];
        auto* tile = new MonitorTile(title(kind), symbol(kind), tint(kind),
                                     kind == Kind::storage || kind == Kind::memory, this);
        tile->setObjectName(QStringLiteral("tile") + QVariant::fromValue(kind).toString());
        connect(tile, &MonitorTile::toggleRequested, this, [this, kind] { toggle(kind); });
        connect(tile, &MonitorTile::freeUpRequested, this, [this, kind] { runAction(kind); });
        tiles_.insert(kind, tile);
        grid->addWidget(tile, i / 2, i % 2);
    }
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    buildDetailPanel();
    layout->addWidget(detail_->parentWidget());
    layout->addSpacing(2);
    layout->addWidget(buildFooter());

    connect(&monitor_, &SystemMonitor::changed, this, [this](SystemMonitor::Field field) {
        if (field == SystemMonitor::Field::topProcesses) refreshProcessRows();
        refreshTexts();
    });
    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field != AppState::Field::vidurAdedResult) return;
        // A new score is stored at once and shown on the Health tile and in the header.
        const std::optional<VidurAdedResult>& result = state_.vidurAdedResult();
        if (!result || result->healthScore == lastResultScore_) return;
        storeScoreFromResult();
        monitor_.refreshLight();
    });
    refreshTexts();
    refreshDetail();
}

QWidget* MenuBarView::buildHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(new BrandMark(34, true, header), 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(ViewText::label(QStringLiteral("Tarnwick"), 14, QFont::DemiBold, T::textPrimary(), header));
    healthLabel_ = ViewText::label(QString(), 11, QFont::Medium, T::textSecondary(), header);
    healthLabel_->setObjectName(QStringLiteral("headerHealthLabel"));
    texts->addWidget(healthLabel_);
    row->addLayout(texts);
    row->addStretch(1);
    PlainButton* open = textButton(QStringLiteral("Open"), 11, QFont::DemiBold, T::textPrimary(), header);
    open->setObjectName(QStringLiteral("headerOpen"));
    open->setPadding(QMargins(12, 6, 12, 6));
    open->setFill(T::withOpacity(Qt::white, 0.10));
    connect(open, &QAbstractButton::clicked, this, &MenuBarView::openApp);
    row->addWidget(open, 0, Qt::AlignVCenter);
    return header;
}

QWidget* MenuBarView::buildFooter() {
    auto* footer = new QWidget(this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(0, 0, 0, 0);
    PlainButton* quit = textButton(QStringLiteral("Quit Tarnwick"), 11, QFont::Medium, T::textSecondary(), footer);
    quit->setObjectName(QStringLiteral("footerQuit"));
    connect(quit, &QAbstractButton::clicked, this, [] { QCoreApplication::quit(); });
    row->addWidget(quit);
    row->addStretch(1);
    auto* show = new PlainButton(QString(), footer);
    show->setObjectName(QStringLiteral("footerShow"));
    show->setSymbol(QStringLiteral("gearshape"), 12);
    show->setTextColor(T::textSecondary());
    show->setFill(T::withOpacity(Qt::white, 0.08));
    show->setPadding(QMargins(8, 8, 8, 8));
    show->setFixedSize(28, 28);
    show->setToolTip(QStringLiteral("Show Tarnwick"));
    show->setCursor(Qt::PointingHandCursor);
    connect(show, &QAbstractButton::clicked, this, [this] {
        openApp();
        state_.openSection(AppSection::home);
    });
    row->addWidget(show);
    return footer;
}

void MenuBarView::buildDetailPanel() {
    // The card wears its own shadow effect, so the fade goes on a holder around it.
    auto* holder = new QWidget(this);
    holder->setObjectName(QStringLiteral("detailHolder"));
    auto* holderLayout = new QVBoxLayout(holder);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    detail_ = new TaldoGlassCard(14, T::accentTeal(), false, false, holder);
    detail_->setObjectName(QStringLiteral("detailPanel"));
    holderLayout->addWidget(detail_);

    auto* layout = new QVBoxLayout(detail_);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    detailTitle_ = ViewText::label(QString(), 12, QFont::DemiBold, T::textPrimary(), detail_);
    detailTitle_->setObjectName(QStringLiteral("detailTitle"));
    top->addWidget(detailTitle_);
    top->addStretch(1);
    detailButton_ = textButton(QString(), 11, QFont::DemiBold, T::accentTeal(), detail_);
    detailButton_->setObjectName(QStringLiteral("detailButton"));
    connect(detailButton_, &QAbstractButton::clicked, this, [this] {
        if (selected_) runAction(*selected_);
    });
    top->addWidget(detailButton_);
    layout->addLayout(top);

    detailText_ = ViewText::label(QString(), 11, QFont::Normal, T::textSecondary(), detail_);
    detailText_->setObjectName(QStringLiteral("detailText"));
    detailText_->setWordWrap(true);
    layout->addWidget(detailText_);
    storageBars_ = new StorageBars(detail_);
    storageBars_->setObjectName(QStringLiteral("storageBars"));
    layout->addWidget(storageBars_);
    processRows_ = new QWidget(detail_);
    processRows_->setObjectName(QStringLiteral("processRows"));
    processLayout_ = new QVBoxLayout(processRows_);
    processLayout_->setContentsMargins(0, 0, 0, 0);
    processLayout_->setSpacing(8);
    processRows_->installEventFilter(this);
    layout->addWidget(processRows_);

    detailFade_ = new QGraphicsOpacityEffect(holder);
    detailFade_->setOpacity(1.0);
    detailFade_->setEnabled(false);
    holder->setGraphicsEffect(detailFade_);
    detailAnimation_ = new QVariantAnimation(this);
    detailAnimation_->setDuration(kAnimationMs);
    detailAnimation_->setEasingCurve(QEasingCurve::OutCubic);
    detailAnimation_->setStartValue(0.0);
    detailAnimation_->setEndValue(1.0);
    connect(detailAnimation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { detailFade_->setOpacity(value.toDouble()); });
    connect(detailAnimation_, &QVariantAnimation::finished, this, [this] { detailFade_->setEnabled(false); });
    holder->hide();
}

// ---- Selection ----

void MenuBarView::toggle(MonitorKind kind) {
    select(selected_ == kind ? std::nullopt : std::optional<MonitorKind>(kind));
}

void MenuBarView::select(std::optional<MonitorKind> kind) {
    if (kind == selected_) return;
    const bool opening = !selected_ && kind;
    selected_ = kind;
    for (auto it = tiles_.cbegin(); it != tiles_.cend(); ++it) it.value()->setSelected(it.key() == kind);
    refreshDetail();
    if (opening) {
        // The panel fades in as it opens.
        detailFade_->setEnabled(true);
        detailFade_->setOpacity(0.0);
        detailAnimation_->stop();
        detailAnimation_->start();
    }
    monitor_.setProcessSamplingEnabled(samplesProcesses(kind));
}

void MenuBarView::runAction(MonitorKind kind) {
    switch (kind) {
    case Kind::health:
        state_.openSection(AppSection::home);
        state_.runVidurAded();
        break;
    case Kind::protection:
        state_.openSection(AppSection::protection);
        break;
    case Kind::storage:
        // Always a fresh junk scan, even when opening the section started one.
        state_.openSection(AppSection::cleanup);
        state_.runCleanupScan();
        break;
    case Kind::memory:
    case Kind::cpu:
        state_.openSection(AppSection::performance);
        break;
    case Kind::battery:
        break;
    }
    openApp();
}

// ---- Texts ----

QString MenuBarView::title(MonitorKind kind) {
    switch (kind) {
    case Kind::health: return QStringLiteral("Health");
    case Kind::protection: return QStringLiteral("Protection");
    case Kind::storage: return QStringLiteral("Storage");
    case Kind::memory: return QStringLiteral("Memory");
    case Kind::cpu: return QStringLiteral("CPU");
    case Kind::battery: return QStringLiteral("Battery");
    }
    return {};
}

QString MenuBarView::symbol(MonitorKind kind) {
    switch (kind) {
    case Kind::health: return QStringLiteral("heart.fill");
    case Kind::protection: return QStringLiteral("shield.lefthalf.filled");
    case Kind::storage: return QStringLiteral("internaldrive.fill");
    case Kind::memory: return QStringLiteral("memorychip");
    case Kind::cpu: return QStringLiteral("cpu");
    case Kind::battery: return QStringLiteral("battery.100");
    }
    return {};
}

QColor MenuBarView::tint(MonitorKind kind) {
    switch (kind) {
    case Kind::health: return T::accentTeal();
    case Kind::protection: return T::rgb(0.45, 0.72, 1.0);
    case Kind::storage: return T::accent();
    case Kind::memory: return T::rgb(0.72, 0.55, 1.0);
    case Kind::cpu: return T::warning();
    case Kind::battery: return T::accentLime();
    }
    return T::accentTeal();
}

QString MenuBarView::value(MonitorKind kind) const {
    switch (kind) {
    case Kind::health: return monitor_.healthScoreText();
    case Kind::protection: return monitor_.protectionStatus();
    case Kind::storage: return monitor_.diskFreeFormatted();
    case Kind::memory: return monitor_.memoryAvailableFormatted();
    case Kind::cpu: {
        // No figure until two readings made a difference.
        const std::optional<double> cpu = monitor_.cpuPercent();
        return cpu ? QString::asprintf("%.0f%%", *cpu) : kPlaceholder;
    }
    case Kind::battery: return monitor_.batteryPercentText();
    }
    return {};
}

QString MenuBarView::subtitle(MonitorKind kind) const {
    switch (kind) {
    case Kind::health: return monitor_.healthLabel();
    case Kind::protection: return QStringLiteral("Tap to scan");
    case Kind::storage: return QStringLiteral("System disk free");
    case Kind::memory: {
        const std::optional<double> memory = monitor_.memoryPercent();
        return memory ? QString::asprintf("%.0f%% in use", *memory) : kPlaceholder;
    }
    case Kind::cpu: return monitor_.uptimeShort();
    case Kind::battery: return monitor_.batteryStatus();
    }
    return {};
}

void MenuBarView::refreshTexts() {
    healthLabel_->setText(monitor_.healthLabel());
    ViewText::setTextColor(healthLabel_, themeColor(monitor_.healthTint()));
    recommendation_->setTexts(monitor_.recommendationTitle(), monitor_.recommendationDetail());
    for (const Kind kind : kKinds) {
        tiles_[kind]->setValue(value(kind));
        tiles_[kind]->setSubtitle(subtitle(kind));
    }
    if (!selected_) return;
    switch (*selected_) {
    case Kind::health: detailText_->setText(monitor_.healthDetail()); break;
    case Kind::battery: detailText_->setText(monitor_.batteryDetail()); break;
    case Kind::protection:
        detailText_->setText(QStringLiteral("Scan login items, services, and suspicious leftovers."));
        break;
    default: break;
    }
    storageBars_->setReadings(monitor_.diskUsedFraction(), monitor_.diskUsedFormatted(), monitor_.diskFreeFormatted());
}

void MenuBarView::refreshDetail() {
    QWidget* holder = detail_->parentWidget();
    if (!selected_) {
        holder->hide();
        return;
    }
    const Kind kind = *selected_;
    detail_->setGlow(tint(kind));
    detailTitle_->setText(panelTitle(kind));
    detailButton_->setText(buttonTitle(kind));
    detailButton_->setTextColor(tint(kind));
    detailButton_->updateGeometry();
    const bool text = kind == Kind::health || kind == Kind::protection || kind == Kind::battery;
    detailText_->setVisible(text);
    storageBars_->setVisible(kind == Kind::storage);
    processRows_->setVisible(samplesProcesses(kind));
    refreshTexts();
    refreshProcessRows();
    holder->show();
}

void MenuBarView::refreshProcessRows() {
    const QList<SystemMonitor::Proc> processes = monitor_.topProcesses().mid(0, processRowLimit);
    const QColor dot = T::withOpacity(selected_ ? tint(*selected_) : T::accentTeal(), 0.7);
    // The rows carry the kind's tint, so a change of tile rebuilds them too.
    const bool sameRows = processes == shownProcesses_ && processRows_->property("tint").value<QColor>() == dot;
    if (sameRows) {
        rowsPending_ = false;
        return;
    }
    // Rows under the pointer (hovered or pressed: a press keeps the pointer's
    // leave until the release) stay put until it leaves them.
    if (pointerOverRows_ && processRows_->isVisible() && !shownProcesses_.isEmpty()) {
        rowsPending_ = true;
        return;
    }
    rowsPending_ = false;
    shownProcesses_ = processes;
    processRows_->setProperty("tint", dot);
    while (QLayoutItem* item = processLayout_->takeAt(0)) {
        if (QWidget* widget = item->widget()) widget->deleteLater();
        delete item;
    }
    for (const SystemMonitor::Proc& process : processes) {
        auto* row = new QWidget(processRows_);
        row->setObjectName(QStringLiteral("processRow"));
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(8);
        auto* marker = FilledPanel::capsule(dot, row);
        marker->setFixedSize(6, 6);
        layout->addWidget(marker, 0, Qt::AlignVCenter);
        auto* name = new ElidedLabel(process.name, Qt::ElideRight, row);
        name->setObjectName(QStringLiteral("processName"));
        name->setFont(ViewText::font(12));
        ViewText::setTextColor(name, T::textPrimary());
        layout->addWidget(name, 1);
        layout->addWidget(ViewText::label(process.cpu + QLatin1Char('%'), 11, QFont::Medium, T::textSecondary(), row));
        // Only the user's own processes can be asked to quit.
        if (process.canQuit) {
            PlainButton* quit = textButton(QStringLiteral("Quit"), 10, QFont::DemiBold, T::danger(), row);
            quit->setObjectName(QStringLiteral("processQuit"));
            connect(quit, &QAbstractButton::clicked, this, [this, process, quit] {
                // Whether it worked shows in the next sample; asked once is enough.
                quit->setEnabled(false);
                PerformanceService::quitProcess(process.pid, process.identity);
                monitor_.refreshProcessesAsync();
            });
            layout->addWidget(quit);
        }
        processLayout_->addWidget(row);
    }
}

QString MenuBarView::detailTitle() const {
    return detailTitle_->text();
}

QString MenuBarView::detailText() const {
    return detailText_->isVisibleTo(detail_) ? detailText_->text() : QString();
}

QStringList MenuBarView::processRowNames() const {
    QStringList names;
    for (const SystemMonitor::Proc& process : shownProcesses_) names << process.name;
    return names;
}

PlainButton* MenuBarView::quitButton(int row) const {
    QLayoutItem* item = processLayout_->itemAt(row);
    return item && item->widget() ? item->widget()->findChild<PlainButton*>(QStringLiteral("processQuit")) : nullptr;
}

bool MenuBarView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == processRows_) {
        if (event->type() == QEvent::Enter) {
            pointerOverRows_ = true;
        } else if (event->type() == QEvent::Leave) {
            pointerOverRows_ = false;
            if (rowsPending_) refreshProcessRows();
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Life cycle ----

void MenuBarView::storeScoreFromResult() {
    const std::optional<VidurAdedResult>& result = state_.vidurAdedResult();
    if (!result) return;
    lastResultScore_ = result->healthScore;
    Environment::current().settings()->setValue(SystemMonitor::healthScoreKey(), result->healthScore);
}

void MenuBarView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    storeScoreFromResult();
    monitor_.start(samplesProcesses(selected_));
}

void MenuBarView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A panel closing under the pointer gets no leave: the rows follow the samples again.
    pointerOverRows_ = false;
    monitor_.stop();
}

void MenuBarView::openApp() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!qobject_cast<QMainWindow*>(window)) continue;
        if (window->isMinimized()) window->showNormal();
        else window->show();
        window->raise();
        window->activateWindow();
    }
    emit appOpened();
}

}  // namespace tarnwick
