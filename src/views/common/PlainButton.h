#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QMargins>

namespace tarnwick {

// A button without chrome: an optional symbol and a text in one colour, with
// padding and, when given a fill, a capsule behind them. Used for breadcrumb
// elements, tab buttons and small icon buttons. It takes no keyboard focus,
// so the keys it would swallow reach the screen around it, unless made
// keyboard-focusable: then Tab reaches it, a ring shows the focus and Space
// presses it.
class PlainButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit PlainButton(const QString& text = QString(), QWidget* parent = nullptr);

    void setSymbol(const QString& symbolName, int symbolSize);
    QString symbol() const { return symbol_; }
    void setTextColor(const QColor& color);
    QColor textColor() const { return textColor_; }
    // The capsule behind the label; a transparent colour draws none.
    void setFill(const QColor& fill);
    QColor fill() const { return fill_; }
    void setPadding(const QMargins& padding);
    // Tab reaches the button (a click does not focus it).
    void setKeyboardFocusable(bool focusable);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString symbol_;
    int symbolSize_ = 0;
    QColor textColor_;
    QColor fill_ = Qt::transparent;
    QMargins padding_;
    bool hovering_ = false;
};

}  // namespace tarnwick
