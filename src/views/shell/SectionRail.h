#pragma once

#include "models/AppSection.h"

#include <QAbstractButton>
#include <QTimer>
#include <QWidget>

class QLabel;

namespace tarnwick {

class AppState;

// One section of the rail: its symbol and title, outlined in teal while it is
// the selected section.
class SectionRow : public QAbstractButton {
    Q_OBJECT

public:
    SectionRow(AppSection section, QWidget* parent = nullptr);

    AppSection section() const { return section_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AppSection section_;
    bool selected_ = false;
};

// The navigation rail on the left of the main window: the brand header, one
// row per section (clicking one opens it), and at the bottom the "Last map"
// card while a scanned or cached tree is loaded.
class SectionRail : public QWidget {
    Q_OBJECT

public:
    static constexpr int railWidth = 196;

    explicit SectionRail(AppState& state, QWidget* parent = nullptr);

    SectionRow* row(AppSection section) const;
    // The "Last map" card, hidden while there is no summary.
    QWidget* lastMapCard() const { return card_; }
    // The card's summary as shown (at most two lines; cut with an ellipsis after them).
    QString shownSummary() const;

    // The text cut to fit `lines` lines of `width` pixels in `font`, the last line ending in "…" when cut.
    static QString fitToLines(const QString& text, const QFont& font, int width, int lines);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateSelection();
    void updateCard();

    AppState& state_;
    QList<SectionRow*> rows_;
    QWidget* card_ = nullptr;
    QLabel* summary_ = nullptr;
    QString summaryText_;
    QTimer clock_;
};

}  // namespace tarnwick
