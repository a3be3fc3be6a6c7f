#pragma once

#include <QList>
#include <QWidget>

class QLabel;
class QStackedWidget;

namespace tarnwick {

class ModuleHeader;
class ScrollColumn;
class TaldoPrimaryButton;

// The frame every module screen is built on: the header (title, status line,
// the screen's controls), a divider, and a body that shows one of three
// states: the scanning state (a spinner over the progress label), the
// content (by default the screen's cards in a scrolling column), or the
// empty state (a symbol, a sentence and a button).
class ModuleScreenFrame : public QWidget {
    Q_OBJECT

public:
    enum class Body { scanning, content, empty };

    ModuleScreenFrame(const QString& title, QWidget* parent = nullptr);

    // Scanning wins over findings; without findings the empty state shows.
    static Body bodyFor(bool scanning, bool hasItems);

    ModuleHeader* header() const { return header_; }
    void setStatusText(const QString& text);
    void setProgressLabel(const QString& text);
    QString progressLabel() const;
    // The empty state's symbol (none when empty) and sentence, and the text of
    // its button (returned; hidden when the text is empty).
    TaldoPrimaryButton* setEmptyState(const QString& symbol, const QString& description, const QString& buttonText);

    // The cards of the content, top to bottom, replacing those shown before
    // (which are deleted). Cards are made with cardParent() as parent.
    void setCards(const QList<QWidget*>& cards);
    QList<QWidget*> cards() const;
    QWidget* cardParent() const;
    // The scrolling column of cards; null once the screen set content of its own.
    ScrollColumn* cardColumn() const { return cards_; }
    // Replaces the card column with a content widget of the screen's own.
    void setContent(QWidget* content);

    void showBody(Body body);
    Body body() const;

private:
    ModuleHeader* header_ = nullptr;
    QStackedWidget* body_ = nullptr;
    QLabel* progress_ = nullptr;
    QWidget* contentPage_ = nullptr;
    ScrollColumn* cards_ = nullptr;  // none once the screen set content of its own
    QLabel* emptySymbol_ = nullptr;
    QLabel* emptyText_ = nullptr;
    TaldoPrimaryButton* emptyButton_ = nullptr;
};

}  // namespace tarnwick
