#pragma once

#include <QList>
#include <QMargins>
#include <QScrollArea>

class QVBoxLayout;

namespace tarnwick {

// A vertically scrolling column of widgets on a transparent background (the
// window's backdrop shows through), topped up with flexible space below the
// last one: the rows of a list screen, the cards of a module screen.
class ScrollColumn : public QScrollArea {
    Q_OBJECT

public:
    ScrollColumn(const QMargins& margins, int spacing, QWidget* parent = nullptr);

    // The parent for the widgets of the column.
    QWidget* host() const { return host_; }
    // Shows these widgets, top to bottom, in place of those shown before,
    // which leave the column at once and are deleted later (a click inside one
    // may still be running).
    void setWidgets(const QList<QWidget*>& widgets);
    QList<QWidget*> widgets() const;

private:
    QWidget* host_ = nullptr;
    QVBoxLayout* column_ = nullptr;
};

}  // namespace tarnwick
