#pragma once

#include <QWidget>

namespace tarnwick {

// A path in at most two centred lines, broken anywhere and shortened in the
// middle when even two lines cannot hold it.
class PathLineLabel : public QWidget {
    Q_OBJECT

public:
    PathLineLabel(int maximumWidth, int lineCount, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }
    // The text as drawn in the given width.
    QString shownText(int width) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    int lineCount_;
};

}  // namespace tarnwick
