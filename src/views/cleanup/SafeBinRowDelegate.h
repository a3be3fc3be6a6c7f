#pragma once

#include <QAbstractItemDelegate>

#include <functional>

namespace tarnwick {

// Draws one row of the Safe Bin list, as a panel: the entry's name over the
// place it came from (one line, shortened in the middle) and how long ago it
// was removed, then its size in the accent colour, then the "Restore" and
// "Delete forever" buttons. Nothing in a row is a widget: the buttons are
// painted in the design system's styles, and the list finds them by the same
// geometry (buttonRect()). Every row has the same height.
class SafeBinRowDelegate : public QAbstractItemDelegate {
    Q_OBJECT

public:
    enum class Button { none, restore, destroy };
    // How a button of a row is to look.
    struct ButtonLook {
        bool enabled = true;
        bool hovered = false;
        bool pressed = false;
        bool focused = false;  // the keyboard's choice: a ring around it
    };
    using LookOf = std::function<ButtonLook(const QModelIndex& index, Button button)>;

    explicit SafeBinRowDelegate(LookOf lookOf, QObject* parent = nullptr);

    static QString restoreText() { return QStringLiteral("Restore"); }
    static QString deleteText() { return QStringLiteral("Delete forever"); }

    // The rows' height, gap to the next row included; `base` is the list's font.
    static int rowHeight(const QFont& base);
    // Where a button lies in a row drawn in rowRect; `base` is the list's font.
    static QRect buttonRect(const QRect& rowRect, Button button, const QFont& base);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void paintButton(QPainter& painter, const QRect& rect, Button button, const ButtonLook& look,
                     const QFont& base) const;

    LookOf lookOf_;
};

}  // namespace tarnwick
