#pragma once

#include "design/TaldoGlassCard.h"

namespace tarnwick {

class PlainButton;
class TileTextButton;

// One live tile of the tray panel: a glass card glowing in its tint, lit
// while selected, with the symbol in a tinted circle, an optional "Free Up"
// capsule and the title, value and subtitle. The symbol and the texts toggle
// the tile's selection (toggleRequested); "Free Up" runs the tile's action.
class MonitorTile : public TaldoGlassCard {
    Q_OBJECT

public:
    static constexpr int minimumTileHeight = 108;

    MonitorTile(const QString& title, const QString& symbol, const QColor& tint, bool freeUp,
                QWidget* parent = nullptr);

    void setValue(const QString& value);
    void setSubtitle(const QString& subtitle);
    void setSelected(bool selected) { setLit(selected); }
    bool isSelected() const { return isLit(); }

    PlainButton* symbolButton() const { return symbolButton_; }
    PlainButton* freeUpButton() const { return freeUpButton_; }  // null on tiles without one
    TileTextButton* textButton() const { return textButton_; }

signals:
    void toggleRequested();
    void freeUpRequested();

private:
    PlainButton* symbolButton_ = nullptr;
    PlainButton* freeUpButton_ = nullptr;
    TileTextButton* textButton_ = nullptr;
};

}  // namespace tarnwick
