#pragma once

#include "models/AppSection.h"
#include "models/VidurAdedResult.h"
#include "models/VolumeInfo.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

class QGraphicsDropShadowEffect;
class QLabel;

namespace tarnwick {

class AppState;
class HealthGauge;
class HeroGlassCard;
class ScheduleCard;
class ScrollColumn;
class TaldoButton;
class TaldoHoverGlass;
class VidurAdedMetricTile;
class VidurAdedToolTile;

// The home section: the title block, the hero card with the health gauge and
// the Vidur Aded buttons, the scanning card while a pass runs or the six
// result tiles of the last pass, the daily schedule card and the nine tool
// tiles. Every figure is read from the state as it changes; the screen
// writes nothing but the volume list, which it reads again each time it is
// shown, and what its controls call.
class VidurAdedView : public QWidget {
    Q_OBJECT

public:
    explicit VidurAdedView(AppState& state, QWidget* parent = nullptr);

    // ---- What the screen shows, as pure functions of the state ----

    // The word and tint of a score's band: 85 and above "Excellent" in teal,
    // 70 to 84 "Good" in amber, 50 to 69 "Needs attention" in orange, below
    // 50 "Critical" in red.
    static QString bandWord(int score);
    static const QColor& bandTint(int score);

    // The volume the gauge and the free-space line describe: the first one
    // holding the root file system, else the first one; none for no volumes.
    static std::optional<VolumeInfo> rootVolume(const std::vector<VolumeInfo>& volumes);
    // The gauge's fill, 0 to 1: the score ÷ 100 once a pass has finished;
    // before, the root volume's free fraction, at least 0.04 (1.0 for a
    // volume without a total, 0.52 with no volume at all). Never below 0,
    // above 1 or NaN, whatever the figures say.
    static double gaugeFill(const std::optional<VolumeInfo>& root, const std::optional<VidurAdedResult>& result);
    // The junk, clutter and privacy bytes of a pass.
    static qint64 reclaimableBytes(const VidurAdedResult& result);
    // "Clean recommended" is enabled unless the pass found neither bytes to
    // reclaim nor a high-severity threat.
    static bool canCleanRecommended(const VidurAdedResult& result);
    // "131 GB free of 512 GB · Root".
    static QString freeSpaceLine(const VolumeInfo& volume);

    // The hero card in one of its three states (idle, running, with a result).
    struct Hero {
        QString title;
        QString detail;
        std::optional<QString> freeLine;  // shown when there is one
        bool runShown = false;
        bool runEnabled = false;
        QString runText;
        bool cleanShown = false;
        bool cleanEnabled = false;
        double fill = 0.0;
        QColor tint;
        QString figure;
        int figurePixelSize = 32;
        QString caption;
    };
    static Hero hero(const std::optional<VidurAdedResult>& result, bool running, const QString& progress,
                     const std::vector<VolumeInfo>& volumes);

    // One result tile.
    struct Metric {
        QString title;
        QString value;
        QString subtitle;
        AppSection section;
        QColor tint;
    };
    // The six result tiles of a pass, in grid order.
    static QList<Metric> metrics(const VidurAdedResult& result);

    // One tool tile.
    struct Tool {
        QString title;
        QString subtitle;
        QString icon;
        AppSection section;
        QColor tint;
    };
    // The nine tool tiles, in grid order.
    static QList<Tool> tools();

    static QString scanningHint() {
        return QStringLiteral("Keep using your computer \u2014 Vidur Aded runs in the background.");
    }

    // ---- Parts, for the screen pictures and tests ----
    HeroGlassCard* heroCard() const { return heroCard_; }
    HealthGauge* gauge() const { return gauge_; }
    QString heroTitle() const;
    QString heroDetail() const;
    // The free-space line; hidden when the hero shows none.
    QLabel* freeSpaceLabel() const { return freeLine_; }
    TaldoButton* runButton() const { return runButton_; }
    TaldoButton* cleanButton() const { return cleanButton_; }
    // The run button's opacity: 0.7 while a pass runs, else 1.
    double runButtonOpacity() const;
    TaldoHoverGlass* scanningCard() const { return scanningCard_; }
    QString scanningText() const;
    QWidget* resultsGrid() const { return resultsGrid_; }
    const QList<VidurAdedMetricTile*>& metricTiles() const { return metricTiles_; }
    ScheduleCard* scheduleCard() const { return scheduleCard_; }
    const QList<VidurAdedToolTile*>& toolTiles() const { return toolTiles_; }
    // The hero is hovered (its glows and shadow are lit).
    bool hoveringHero() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildTitleBlock();
    QWidget* buildHeroCard();
    QWidget* buildScanningCard();
    QWidget* buildResultsGrid();
    QWidget* buildToolGrid();
    VidurAdedMetricTile* metric(const Metric& metric);
    VidurAdedToolTile* tool(const Tool& tool);
    void refresh();
    void applyHover(double amount);

    AppState& state_;
    ScrollColumn* column_ = nullptr;
    HeroGlassCard* heroCard_ = nullptr;
    HealthGauge* gauge_ = nullptr;
    QLabel* heroTitle_ = nullptr;
    QLabel* heroDetail_ = nullptr;
    QLabel* freeLine_ = nullptr;
    QGraphicsDropShadowEffect* freeLineGlow_ = nullptr;
    TaldoButton* runButton_ = nullptr;
    TaldoButton* cleanButton_ = nullptr;
    QWidget* cleanHolder_ = nullptr;
    TaldoHoverGlass* scanningCard_ = nullptr;
    QLabel* scanningText_ = nullptr;
    QWidget* resultsGrid_ = nullptr;
    QList<VidurAdedMetricTile*> metricTiles_;
    ScheduleCard* scheduleCard_ = nullptr;
    QList<VidurAdedToolTile*> toolTiles_;
};

}  // namespace tarnwick
