#pragma once

#include "models/InstalledApp.h"
#include "views/common/FilledPanel.h"

#include <QList>
#include <QUuid>

class QLabel;
class QVBoxLayout;

namespace tarnwick {

class ElidedLabel;
class PlainButton;
class TaldoButton;

// One application on the Apps screen: a check circle, the name over the path
// ("~" for the home folder) and, with leftovers, the line "3 leftovers ·
// 12 MB", which opens the list of the leftover paths an uninstall or a reset
// would move; then the bundle's own size, "Reset" (with leftovers only) and
// a button that reveals the bundle. A Flatpak app's row says how it goes
// (its data into the Safe Bin, the app back from its remote), and one of a
// system installation why it cannot be ticked. The row only reports clicks.
class InstalledAppRow : public FilledPanel {
    Q_OBJECT

public:
    explicit InstalledAppRow(const InstalledApp& app, QWidget* parent = nullptr);

    // "3 leftovers · 12 MB", with the open or closed marker in front.
    static QString leftoversText(const InstalledApp& app, bool expanded);
    // What the row says of how the app is uninstalled; empty for a bundle or an AppImage.
    static QString noteText(const InstalledApp& app);

    const InstalledApp& app() const { return app_; }
    // Shows new values for the same application (its tick, its leftovers).
    void setApp(const InstalledApp& app);
    bool isExpanded() const { return expanded_; }
    void setExpanded(bool expanded);
    // The leftover paths listed while expanded, as shown.
    QStringList shownLeftoverPaths() const;
    // Enables or disables the reset button.
    void setResetEnabled(bool enabled);

signals:
    void toggleRequested(const QUuid& id);
    void resetRequested(const tarnwick::InstalledApp& app);
    void revealRequested(const QString& path);
    void expandedChanged(const QUuid& id, bool expanded);

private:
    void apply();
    void rebuildLeftovers();

    InstalledApp app_;
    bool expanded_ = false;
    PlainButton* check_ = nullptr;
    QLabel* name_ = nullptr;
    ElidedLabel* path_ = nullptr;
    QLabel* note_ = nullptr;
    PlainButton* leftoversLine_ = nullptr;
    QWidget* leftoversList_ = nullptr;
    QVBoxLayout* leftoversLayout_ = nullptr;
    QLabel* size_ = nullptr;
    TaldoButton* reset_ = nullptr;
    PlainButton* reveal_ = nullptr;
};

}  // namespace tarnwick
