#include "views/care/VidurAdedView.h"

#include "design/TaldoGlowButton.h"
#include "design/TaldoHoverGlass.h"
#include "design/TaldoTheme.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "support/Saturating.h"
#include "views/care/HealthGauge.h"
#include "views/care/HeroGlassCard.h"
#include "views/care/ScheduleCard.h"
#include "views/care/VidurAdedMetricTile.h"
#include "views/care/VidurAdedToolTile.h"
#include "views/common/BusySpinner.h"
#include "views/common/ScrollColumn.h"
#include "views/common/ViewText.h"

#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr double kNoVolumeFill = 0.52;
constexpr double kLeastFreeFill = 0.04;

double mix(double from, double to, double t) {
    return from + (to - from) * t;
}

QString decimal(qint64 value) {
    return QString::number(value);
}

QString bytes(qint64 value) {
    return ByteCountFormatter::fileStyle(value);
}

// The locale's short time style, to the minute ("5:11 AM", "05:11").
QString shortTime(const QDateTime& date) {
    const QLocale locale;
    QString pattern = locale.timeFormat(QLocale::ShortFormat);
    pattern.remove(QRegularExpression(QStringLiteral("[:.]ss(\\.z+)?")));
    return locale.toString(date.toLocalTime().time(), pattern);
}

}  // namespace

// ---- Pure parts ----

QString VidurAdedView::bandWord(int score) {
    if (score >= 85) return QStringLiteral("Excellent");
    if (score >= 70) return QStringLiteral("Good");
    if (score >= 50) return QStringLiteral("Needs attention");
    return QStringLiteral("Critical");
}

const QColor& VidurAdedView::bandTint(int score) {
    if (score >= 85) return T::accentTeal();
    if (score >= 70) return T::accent();
    if (score >= 50) return T::warning();
    return T::danger();
}

std::optional<VolumeInfo> VidurAdedView::rootVolume(const std::vector<VolumeInfo>& volumes) {
    const auto root = std::find_if(volumes.begin(), volumes.end(), [](const VolumeInfo& v) { return v.isRoot; });
    if (root != volumes.end()) return *root;
    if (!volumes.empty()) return volumes.front();
    return std::nullopt;
}

double VidurAdedView::gaugeFill(const std::optional<VolumeInfo>& root, const std::optional<VidurAdedResult>& result) {
    if (result) return std::clamp(result->healthScore / 100.0, 0.0, 1.0);
    if (!root) return kNoVolumeFill;
    if (root->totalBytes <= 0) return 1.0;
    // In use as df counts it where the volume tells (reserved blocks are
    // free, not used), else the total less the free figure. Figures above
    // the total, or below zero, are held to what a volume can hold: the
    // fill stays within 0.04...1.
    const qint64 used = std::max<qint64>(
        root->usedBytes ? *root->usedBytes : Saturating::clamp(__int128(root->totalBytes) - root->freeBytes), 0);
    const double ratio = double(used) / double(root->totalBytes);
    const double free = 1.0 - ratio;
    if (ratio < 1.0 && free > kLeastFreeFill) return std::min(free, 1.0);
    return kLeastFreeFill;
}

qint64 VidurAdedView::reclaimableBytes(const VidurAdedResult& result) {
    return result.reclaimableBytes();
}

bool VidurAdedView::canCleanRecommended(const VidurAdedResult& result) {
    return reclaimableBytes(result) != 0 || result.protectionHigh != 0;
}

QString VidurAdedView::freeSpaceLine(const VolumeInfo& volume) {
    return bytes(volume.freeBytes) + QStringLiteral(" free of ") + bytes(volume.totalBytes) +
           QStringLiteral(" \u00B7 ") + volume.name;
}

VidurAdedView::Hero VidurAdedView::hero(const std::optional<VidurAdedResult>& result, bool running,
                                        const QString& progress, const std::vector<VolumeInfo>& volumes) {
    const std::optional<VolumeInfo> root = rootVolume(volumes);
    Hero hero;
    hero.fill = gaugeFill(root, result);
    hero.tint = result ? bandTint(result->healthScore) : T::accentTeal();
    hero.figurePixelSize = running ? 18 : 32;
    if (result && !running) {
        hero.figure = decimal(result->healthScore);
        hero.caption = QStringLiteral("score");
        hero.title = bandWord(result->healthScore);
        const QString updated = shortTime(result->finishedAt);
        hero.detail = QStringLiteral("Reclaimable ") + bytes(reclaimableBytes(*result)) +
                      QStringLiteral(" \u00B7 updated ") + updated;
        hero.cleanShown = true;
        hero.cleanEnabled = canCleanRecommended(*result);
        return hero;
    }

    hero.figure = root ? bytes(root->freeBytes) : QStringLiteral("\u2014");
    hero.caption = QStringLiteral("free");
    if (root) hero.freeLine = freeSpaceLine(*root);
    hero.runShown = true;
    hero.runEnabled = !running;
    hero.runText = running ? QStringLiteral("Scanning\u2026") : QStringLiteral("Run Vidur Aded");
    if (running) {
        hero.title = QStringLiteral("Scanning your computer\u2026");
        hero.detail = progress;
    } else {
        hero.title = QStringLiteral("Start with Vidur Aded");
        hero.detail = QStringLiteral(
            "We\u2019ll check junk, threats, privacy residue, outdated apps, clutter, and heavy login items "
            "\u2014 then show a health score.");
    }
    return hero;
}

QList<VidurAdedView::Metric> VidurAdedView::metrics(const VidurAdedResult& r) {
    return {
        {QStringLiteral("Junk"), decimal(r.junkCount), bytes(r.junkBytes), AppSection::cleanup, T::accentTeal()},
        {QStringLiteral("Clutter"), decimal(r.clutterCount), bytes(r.clutterBytes), AppSection::clutter,
         T::warning()},
        {QStringLiteral("Protection"), decimal(r.protectionCount), decimal(r.protectionHigh) + QStringLiteral(" high"),
         AppSection::protection, T::danger()},
        {QStringLiteral("Privacy"), decimal(r.privacyCount), bytes(r.privacyBytes), AppSection::protection,
         T::rgb(0.55, 0.70, 1.0)},
        {QStringLiteral("Updates"), decimal(r.outdatedApps), QStringLiteral("apps to review"), AppSection::apps,
         T::rgb(0.45, 0.75, 1.0)},
        {QStringLiteral("Performance"), decimal(r.performanceIssues), QStringLiteral("login / services"),
         AppSection::performance, T::rgb(0.95, 0.45, 0.55)},
    };
}

QList<VidurAdedView::Tool> VidurAdedView::tools() {
    const auto entry = [](AppSection section, const QString& subtitle, const QColor& tint) {
        return Tool{rawValue(section), subtitle, iconName(section), section, tint};
    };
    return {
        entry(AppSection::cleanup, QStringLiteral("Caches, languages, iOS backups\u2026"), T::accentTeal()),
        entry(AppSection::apps, QStringLiteral("Uninstall, reset, updates"), T::rgb(0.45, 0.70, 1.0)),
        entry(AppSection::clutter, QStringLiteral("Dupes, similar photos, large & old"), T::warning()),
        entry(AppSection::performance, QStringLiteral("Processes, services, maintenance"), T::rgb(0.95, 0.45, 0.55)),
        entry(AppSection::protection, QStringLiteral("Threats + privacy residue"), T::rgb(0.55, 0.85, 0.95)),
        entry(AppSection::map, QStringLiteral("Sunburst \u00B7 Treemap \u00B7 Bars \u00B7 Rings"), T::accent()),
        entry(AppSection::activity, QStringLiteral("What you\u2019ve cleaned"), T::rgb(0.70, 0.75, 0.95)),
        entry(AppSection::safeBin, QStringLiteral("30-day restore"), T::rgb(0.95, 0.55, 0.45)),
        entry(AppSection::insights, QStringLiteral("Largest \u00B7 Oldest \u00B7 Types"), T::accentLime()),
    };
}

// ---- The screen ----

VidurAdedView::VidurAdedView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("VidurAdedView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    column_ = new ScrollColumn(QMargins(28, 24, 28, 24), 18, this);
    column_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(column_);

    // Built top to bottom (a braced list runs in order): Tab follows the order the parts were made in.
    column_->setWidgets({buildTitleBlock(), buildHeroCard(), buildScanningCard(), buildResultsGrid(),
                         scheduleCard_ = new ScheduleCard(state_, column_->host()), buildToolGrid()});

    connect(heroCard_, &HeroGlassCard::hoverAmountChanged, this, &VidurAdedView::applyHover);
    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        switch (field) {
        case AppState::Field::vidurAdedResult:
        case AppState::Field::isVidurAdedRunning:
        case AppState::Field::vidurAdedProgress:
        case AppState::Field::volumes:
            refresh();
            break;
        default:
            break;
        }
    });
    applyHover(0.0);
    refresh();
}

QWidget* VidurAdedView::buildTitleBlock() {
    auto* block = new QWidget(column_->host());
    block->setObjectName(QStringLiteral("homeTitleBlock"));
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto* title = ViewText::label(QStringLiteral("Vidur Aded"), 34, QFont::Bold, T::textPrimary(), block);
    title->setObjectName(QStringLiteral("homeTitle"));
    auto* subtitle = ViewText::label(
        QStringLiteral("One scan for junk, clutter, protection, privacy, updates, and performance \u2014 review, "
                       "then clean."),
        14, QFont::Normal, T::textSecondary(), block);
    subtitle->setObjectName(QStringLiteral("homeSubtitle"));
    subtitle->setWordWrap(true);
    column->addWidget(title);
    column->addWidget(subtitle);
    return block;
}

QWidget* VidurAdedView::buildHeroCard() {
    heroCard_ = new HeroGlassCard(column_->host());
    auto* row = new QHBoxLayout(heroCard_);
    row->setContentsMargins(26, 28, 26, 28);
    row->setSpacing(22);

    gauge_ = new HealthGauge(heroCard_);
    row->addWidget(gauge_, 0, Qt::AlignVCenter);

    auto* texts = new QWidget(heroCard_);
    texts->setObjectName(QStringLiteral("heroTexts"));
    auto* column = new QVBoxLayout(texts);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    heroTitle_ = ViewText::label(QString(), 22, QFont::Bold, T::textPrimary(), texts);
    heroTitle_->setObjectName(QStringLiteral("heroTitle"));
    heroDetail_ = ViewText::label(QString(), 13, QFont::Normal, T::textSecondary(), texts);
    heroDetail_->setObjectName(QStringLiteral("heroDetail"));
    heroDetail_->setWordWrap(true);
    column->addWidget(heroTitle_);
    column->addSpacing(8);
    column->addWidget(heroDetail_);

    // The free-space line sits 2 points below the detail, the clean button 4
    // (never both at once).
    freeLine_ = ViewText::label(QString(), 13, QFont::DemiBold, T::accentTeal(), texts);
    freeLine_->setObjectName(QStringLiteral("heroFreeSpace"));
    freeLine_->setContentsMargins(0, 2, 0, 0);
    freeLineGlow_ = new QGraphicsDropShadowEffect(freeLine_);
    freeLineGlow_->setOffset(0, 0);
    freeLine_->setGraphicsEffect(freeLineGlow_);
    column->addWidget(freeLine_);

    cleanButton_ = new TaldoGlowButton(T::accent(), QStringLiteral("Clean recommended"));
    cleanButton_->setObjectName(QStringLiteral("heroClean"));
    cleanButton_->setSymbol(QStringLiteral("trash"));
    connect(cleanButton_, &QPushButton::clicked, this, [this] { state_.runVidurAdedRecommended(); });
    cleanHolder_ = new QWidget(texts);
    auto* cleanRow = new QHBoxLayout(cleanHolder_);
    cleanRow->setContentsMargins(0, 4, 0, 0);
    cleanRow->addWidget(cleanButton_);
    cleanRow->addStretch(1);
    column->addWidget(cleanHolder_);
    row->addWidget(texts, 1, Qt::AlignVCenter);

    runButton_ = new TaldoGlowButton(T::accent(), QStringLiteral("Run Vidur Aded"));
    runButton_->setObjectName(QStringLiteral("heroRun"));
    runButton_->setSymbol(QStringLiteral("sparkles"));
    connect(runButton_, &QPushButton::clicked, this, [this] { state_.runVidurAded(); });
    row->addWidget(runButton_, 0, Qt::AlignVCenter);
    return heroCard_;
}

QWidget* VidurAdedView::buildScanningCard() {
    scanningCard_ = new TaldoHoverGlass(22, T::accentTeal(), true, column_->host());
    scanningCard_->setObjectName(QStringLiteral("scanningCard"));
    auto* row = new QHBoxLayout(scanningCard_);
    row->setContentsMargins(18, 18, 18, 18);
    row->setSpacing(16);
    row->addWidget(new BusySpinner(32, T::accentTeal(), scanningCard_), 0, Qt::AlignVCenter);
    auto* column = new QVBoxLayout;
    column->setSpacing(4);
    scanningText_ = ViewText::label(QString(), 14, QFont::DemiBold, T::textPrimary(), scanningCard_);
    scanningText_->setObjectName(QStringLiteral("scanningProgress"));
    scanningText_->setWordWrap(true);
    auto* hint = ViewText::label(scanningHint(), 12, QFont::Normal, T::textSecondary(), scanningCard_);
    hint->setObjectName(QStringLiteral("scanningHint"));
    hint->setWordWrap(true);
    column->addWidget(scanningText_);
    column->addWidget(hint);
    row->addLayout(column, 1);
    return scanningCard_;
}

QWidget* VidurAdedView::buildResultsGrid() {
    resultsGrid_ = new QWidget(column_->host());
    resultsGrid_->setObjectName(QStringLiteral("resultsGrid"));
    auto* grid = new QGridLayout(resultsGrid_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(12);
    const QList<Metric> shown = metrics(VidurAdedResult{});
    for (int i = 0; i < shown.size(); ++i) {
        VidurAdedMetricTile* tile = metric(shown[i]);
        tile->setParent(resultsGrid_);
        metricTiles_.append(tile);
        grid->addWidget(tile, i / 3, i % 3);
    }
    for (int c = 0; c < 3; ++c) grid->setColumnStretch(c, 1);
    return resultsGrid_;
}

QWidget* VidurAdedView::buildToolGrid() {
    auto* host = new QWidget(column_->host());
    host->setObjectName(QStringLiteral("toolGrid"));
    auto* grid = new QGridLayout(host);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(14);
    const QList<Tool> shown = tools();
    for (int i = 0; i < shown.size(); ++i) {
        VidurAdedToolTile* tile = tool(shown[i]);
        tile->setParent(host);
        toolTiles_.append(tile);
        grid->addWidget(tile, i / 3, i % 3);
    }
    for (int c = 0; c < 3; ++c) grid->setColumnStretch(c, 1);
    return host;
}

VidurAdedMetricTile* VidurAdedView::metric(const Metric& m) {
    auto* tile = new VidurAdedMetricTile(m.title, m.section, m.tint);
    tile->setObjectName(QStringLiteral("metric") + m.title);
    tile->setValue(m.value);
    tile->setSubtitle(m.subtitle);
    connect(tile, &GlassTileButton::clicked, this, [this, section = m.section] { state_.openSection(section); });
    return tile;
}

VidurAdedToolTile* VidurAdedView::tool(const Tool& t) {
    auto* tile = new VidurAdedToolTile(t.title, t.subtitle, t.icon, t.tint,
                                       [this, section = t.section] { state_.openSection(section); });
    tile->setObjectName(QStringLiteral("tool") + QString(t.title).remove(QLatin1Char(' ')));
    return tile;
}

QString VidurAdedView::heroTitle() const {
    return heroTitle_->text();
}

QString VidurAdedView::heroDetail() const {
    return heroDetail_->text();
}

double VidurAdedView::runButtonOpacity() const {
    return runButton_->opacity();
}

QString VidurAdedView::scanningText() const {
    return scanningText_->text();
}

bool VidurAdedView::hoveringHero() const {
    return heroCard_->isHovering();
}

void VidurAdedView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The free-space figures are current whenever the user comes back.
    if (!event->spontaneous()) state_.refreshVolumes();
}

void VidurAdedView::refresh() {
    const std::optional<VidurAdedResult>& result = state_.vidurAdedResult();
    const bool running = state_.isVidurAdedRunning();
    const Hero shown = hero(result, running, state_.vidurAdedProgress(), state_.volumes());

    gauge_->setFill(shown.fill);
    gauge_->setTint(shown.tint);
    gauge_->setFigure(shown.figure, shown.figurePixelSize);
    gauge_->setCaption(shown.caption);
    heroTitle_->setText(shown.title);
    heroDetail_->setText(shown.detail);
    freeLine_->setText(shown.freeLine.value_or(QString()));
    freeLine_->setVisible(shown.freeLine.has_value());
    cleanHolder_->setVisible(shown.cleanShown);
    cleanButton_->setEnabled(shown.cleanEnabled);
    runButton_->setVisible(shown.runShown);
    runButton_->setText(shown.runText.isEmpty() ? QStringLiteral("Run Vidur Aded") : shown.runText);
    runButton_->setEnabled(shown.runEnabled);
    runButton_->setOpacity(running ? 0.7 : 1.0);

    scanningCard_->setVisible(running);
    scanningText_->setText(state_.vidurAdedProgress());
    resultsGrid_->setVisible(!running && result.has_value());
    if (result) {
        const QList<Metric> values = metrics(*result);
        for (int i = 0; i < values.size() && i < metricTiles_.size(); ++i) {
            metricTiles_[i]->setValue(values[i].value);
            metricTiles_[i]->setSubtitle(values[i].subtitle);
        }
    }
}

void VidurAdedView::applyHover(double amount) {
    gauge_->setHoverAmount(amount);
    freeLineGlow_->setColor(T::withOpacity(T::accentTeal(), mix(0.15, 0.55, amount)));
    freeLineGlow_->setBlurRadius(mix(2, 8, amount) * 2);
}

}  // namespace tarnwick
