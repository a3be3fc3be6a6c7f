#pragma once

#include <QStringList>
#include <QWidget>

namespace tarnwick {

// Text wrapped into at most a few lines, leading-aligned; long words and
// paths break anywhere, and text beyond the last line is cut with an
// ellipsis. Its height follows its width.
class ClampedText : public QWidget {
    Q_OBJECT

public:
    explicit ClampedText(int maximumLines, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }
    int maximumLines() const { return maximumLines_; }
    // The lines as drawn at a width.
    QStringList shownLines(int width) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString text_;
    int maximumLines_;
};

}  // namespace tarnwick
