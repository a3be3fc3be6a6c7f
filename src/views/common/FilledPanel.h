#pragma once

#include <QColor>
#include <QWidget>

namespace tarnwick {

// A plain container drawn as one filled shape behind its children: a rounded
// rectangle with continuous corners (rows, cards, sheets) or a capsule
// (chips), optionally with a one-pixel border inside its edge.
class FilledPanel : public QWidget {
    Q_OBJECT

public:
    FilledPanel(const QColor& fill, double cornerRadius, QWidget* parent = nullptr);
    // Fully round ends along the shorter side.
    static FilledPanel* capsule(const QColor& fill, QWidget* parent = nullptr);

    const QColor& fill() const { return fill_; }
    // A transparent colour (the default) draws no border.
    void setBorder(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    double cornerRadius_;  // negative for a capsule
    QColor border_ = Qt::transparent;
};

}  // namespace tarnwick
