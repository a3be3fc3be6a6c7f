#pragma once

#include <QStringList>
#include <QWidget>

namespace tarnwick {

// A row of equally wide segments of which one is chosen, on a dark rounded
// track; the chosen one is lit in the accent colour. A click on a segment
// chooses it and reports it through activated(). It never takes keyboard focus.
class SegmentedPicker : public QWidget {
    Q_OBJECT

public:
    explicit SegmentedPicker(const QStringList& labels, QWidget* parent = nullptr);

    const QStringList& labels() const { return labels_; }
    int currentIndex() const { return current_; }
    // Chooses a segment without reporting it (-1 chooses none).
    void setCurrentIndex(int index);
    // The rectangle of one segment, in the picker's coordinates.
    QRect segmentRect(int index) const;
    // Chooses a segment as a click on it would.
    void activate(int index);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void activated(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QStringList labels_;
    int current_ = -1;
};

}  // namespace tarnwick
