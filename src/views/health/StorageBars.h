#pragma once

#include <QWidget>

namespace tarnwick {

// The start-up volume's bar: an 8-point track with the used share filled in
// a teal-to-amber gradient (never narrower than 8 points), and under it
// "Used …" on the left and "Free …" on the right.
class StorageBars : public QWidget {
    Q_OBJECT

public:
    static constexpr int trackHeight = 8;
    static constexpr int minimumFill = 8;

    explicit StorageBars(QWidget* parent = nullptr);

    void setReadings(double usedFraction, const QString& used, const QString& free);
    QString usedText() const { return QStringLiteral("Used ") + used_; }
    QString freeText() const { return QStringLiteral("Free ") + free_; }
    // The fill's width at the current width.
    int fillWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double fraction_ = 0;
    QString used_;
    QString free_;
};

}  // namespace tarnwick
