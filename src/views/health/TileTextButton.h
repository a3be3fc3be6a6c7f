#pragma once

#include <QAbstractButton>

namespace tarnwick {

// The texts of a monitor tile as one flat button: the title, the value
// (large, shrinking to three quarters of its size before it is cut short)
// and the subtitle, stacked and left-aligned. The whole rectangle takes the
// click. It never takes keyboard focus.
class TileTextButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit TileTextButton(const QString& title, QWidget* parent = nullptr);

    const QString& title() const { return title_; }
    const QString& value() const { return value_; }
    const QString& subtitle() const { return subtitle_; }
    void setValue(const QString& value);
    void setSubtitle(const QString& subtitle);
    // The pixel size the value is drawn at for the current width.
    int valuePixelSize() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
    QString value_;
    QString subtitle_;
};

}  // namespace tarnwick
