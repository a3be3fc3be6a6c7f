#pragma once

#include "design/TaldoGlassCard.h"

class QLabel;

namespace tarnwick {

// The tray panel's recommendation: a glass card glowing faintly in the
// accent colour with a sparkle, the title over the detail (at most two
// lines) and a chevron. The whole card is one button.
class RecommendationCard : public TaldoGlassCard {
    Q_OBJECT

public:
    explicit RecommendationCard(QWidget* parent = nullptr);

    void setTexts(const QString& title, const QString& detail);
    QString title() const;
    QString detail() const;
    // Clicks the card as the pointer would.
    void click();

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* title_ = nullptr;
    QLabel* detail_ = nullptr;
    bool pressed_ = false;
};

}  // namespace tarnwick
