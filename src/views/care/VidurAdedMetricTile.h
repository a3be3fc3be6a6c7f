#pragma once

#include "models/AppSection.h"
#include "views/care/GlassTileButton.h"

class QLabel;

namespace tarnwick {

// One result tile of the home screen: its title, the value large and the
// subtitle in the tile's tint, on hover glass glowing in that tint. A click
// opens the tile's section.
class VidurAdedMetricTile : public GlassTileButton {
    Q_OBJECT

public:
    VidurAdedMetricTile(const QString& title, AppSection section, const QColor& tint, QWidget* parent = nullptr);

    void setValue(const QString& value);
    void setSubtitle(const QString& subtitle);

    QString title() const;
    QString value() const;
    QString subtitle() const;
    AppSection section() const { return section_; }
    const QColor& tint() const { return tint_; }

private:
    AppSection section_;
    QColor tint_;
    QLabel* title_ = nullptr;
    QLabel* value_ = nullptr;
    QLabel* subtitle_ = nullptr;
};

}  // namespace tarnwick
