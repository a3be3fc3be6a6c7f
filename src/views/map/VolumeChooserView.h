#pragma once

#include "models/VolumeInfo.h"

#include <QList>
#include <QWidget>

#include <functional>

class QLabel;
class QVBoxLayout;

namespace tarnwick {

class AppState;
class TaldoGhostButton;
class TaldoGlowButton;

// Where a map scan starts: the mounted volumes of AppState::volumes, each on
// a card with its name, how full it is and a Scan button, and a button that
// picks any folder with the platform's folder dialog. A volume is scanned
// under its own name from its scan path; a folder by its path, without a
// name. While a map is loaded, "Show Map" returns to it.
class VolumeChooserView : public QWidget {
    Q_OBJECT

public:
    // Asks the user for a folder; an empty result means none was chosen.
    using FolderPicker = std::function<QString(QWidget* parent)>;

    explicit VolumeChooserView(AppState& state, QWidget* parent = nullptr);

    // Replaces the folder dialog for every chooser (tests answer without a
    // dialog); an empty function restores the platform's dialog.
    static void setFolderPicker(FolderPicker picker);

    // "120.5 GB used of 500 GB".
    static QString usageText(const VolumeInfo& volume);
    // The used part of the volume, 0 to 1.
    static double usedShare(const VolumeInfo& volume);

    // Scans the volume under its name.
    void scanVolume(const VolumeInfo& volume);
    // Shows the folder dialog and scans the chosen folder, if any.
    void chooseFolder();

    // The volume cards in list order (each has the object name "volumeCard").
    QList<QWidget*> volumeCards() const;
    // The Scan button of the card at a position.
    TaldoGlowButton* scanButton(int index) const;
    TaldoGhostButton* chooseFolderButton() const { return chooseFolder_; }
    TaldoGhostButton* showMapButton() const { return showMap_; }
    bool isShowingEmptyText() const;

signals:
    // "Show Map" was pressed.
    void mapRequested();

private:
    void rebuildCards();
    void updateShowMap();
    QWidget* makeCard(const VolumeInfo& volume);

    AppState& state_;
    QWidget* cardsHost_ = nullptr;
    QVBoxLayout* cards_ = nullptr;
    QLabel* empty_ = nullptr;
    QList<TaldoGlowButton*> scanButtons_;
    TaldoGhostButton* chooseFolder_ = nullptr;
    TaldoGhostButton* showMap_ = nullptr;
};

}  // namespace tarnwick
