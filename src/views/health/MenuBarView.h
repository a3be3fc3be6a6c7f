#pragma once

#include "services/health/SystemMonitor.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

#include <optional>

class QLabel;
class QVBoxLayout;
class QVariantAnimation;
class QGraphicsOpacityEffect;

namespace tarnwick {

class AppState;
class MonitorTile;
class PlainButton;
class RecommendationCard;
class StorageBars;
class TaldoGlassCard;

// The tray panel's content: a header with the health label, the
// recommendation card, six live tiles, the detail panel of the selected
// tile, and a footer. It keeps the monitor running exactly while it is
// shown, with process sampling while the Memory or CPU tile is selected.
// From here the user opens the main window at a section, starts the junk
// scan, quits a heavy process and quits the program.
class MenuBarView : public QWidget {
    Q_OBJECT

public:
    // The tiles in display order.
    enum class MonitorKind { health, protection, storage, memory, cpu, battery };
    Q_ENUM(MonitorKind)

    static constexpr int panelWidth = 340;
    static constexpr qsizetype processRowLimit = 4;

    MenuBarView(AppState& state, SystemMonitor& monitor, QWidget* parent = nullptr);

    std::optional<MonitorKind> selected() const { return selected_; }
    // What a tap on a tile's symbol or texts does: closes its panel when it
    // is the selected one, else opens it.
    void toggle(MonitorKind kind);
    // Runs the kind's action (the detail panel's button, and "Free Up").
    void runAction(MonitorKind kind);

    // ---- Parts, for the screen pictures and tests ----
    MonitorTile* tile(MonitorKind kind) const { return tiles_.value(kind); }
    QLabel* healthLabel() const { return healthLabel_; }
    RecommendationCard* recommendation() const { return recommendation_; }
    // The detail panel; hidden while no tile is selected.
    TaldoGlassCard* detailPanel() const { return detail_; }
    QString detailTitle() const;
    PlainButton* detailButton() const { return detailButton_; }
    // The body text of the Health, Protection and Battery panels.
    QString detailText() const;
    StorageBars* storageBars() const { return storageBars_; }
    // The process rows' names, in order.
    QStringList processRowNames() const;
    // The "Quit" button of a process row; none for a process that is not the user's own.
    PlainButton* quitButton(int row) const;
    // The process rows: while the pointer is over them (or presses one) they
    // keep their order, so a click lands on the row it was aimed at; a new
    // sample shows once the pointer is away.
    QWidget* processRowsArea() const { return processRows_; }

    // The tile's texts and tint by kind.
    static QString title(MonitorKind kind);
    static QString symbol(MonitorKind kind);
    static QColor tint(MonitorKind kind);
    QString value(MonitorKind kind) const;
    QString subtitle(MonitorKind kind) const;

signals:
    // The main window was brought forward (openApp).
    void appOpened();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildFooter();
    void buildDetailPanel();
    void select(std::optional<MonitorKind> kind);
    void refreshTexts();
    void refreshDetail();
    void refreshProcessRows();
    void storeScoreFromResult();
    void openApp();

    AppState& state_;
    SystemMonitor& monitor_;
    std::optional<MonitorKind> selected_;
    std::optional<int> lastResultScore_;

    QLabel* healthLabel_ = nullptr;
    RecommendationCard* recommendation_ = nullptr;
    QHash<MonitorKind, MonitorTile*> tiles_;
    TaldoGlassCard* detail_ = nullptr;
    QLabel* detailTitle_ = nullptr;
    PlainButton* detailButton_ = nullptr;
    QLabel* detailText_ = nullptr;
    StorageBars* storageBars_ = nullptr;
    QWidget* processRows_ = nullptr;
    QVBoxLayout* processLayout_ = nullptr;
    QList<SystemMonitor::Proc> shownProcesses_;
    bool pointerOverRows_ = false;
    bool rowsPending_ = false;  // a sample came while the rows were held
    QGraphicsOpacityEffect* detailFade_ = nullptr;
    QVariantAnimation* detailAnimation_ = nullptr;
};

}  // namespace tarnwick
