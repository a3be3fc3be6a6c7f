#pragma once

#include <QString>
#include <QUuid>
#include <QWidget>

class QLabel;

namespace tarnwick {

class ClampedText;
class PlainButton;

// One finding on a module screen: a check circle, the title over the detail
// (two lines at most) and, for a finding the finder judged safe, the line
// "Pre-selected · generally safe"; then the size and a button that reveals
// the finding in the file manager. The row only reports clicks; the screen
// decides what they do.
class FindingRow : public QWidget {
    Q_OBJECT

public:
    struct Content {
        QUuid id;
        QString title;
        QString detail;
        QString path;  // what the reveal button shows
        qint64 size = 0;
        bool isSelected = false;
        bool isSafeDefault = false;

        bool operator==(const Content&) const = default;
    };

    static QString safeDefaultText() { return QStringLiteral("Pre-selected \u00B7 generally safe"); }

    explicit FindingRow(const Content& content, QWidget* parent = nullptr);

    const Content& content() const { return content_; }
    // Shows new values for the same finding (the tick, mostly).
    void setContent(const Content& content);

signals:
    void toggleRequested(const QUuid& id);
    void revealRequested(const QString& path);

private:
    void apply();

    Content content_;
    PlainButton* check_ = nullptr;
    QLabel* title_ = nullptr;
    ClampedText* detail_ = nullptr;
    QLabel* safe_ = nullptr;
    QLabel* size_ = nullptr;
    PlainButton* reveal_ = nullptr;
};

}  // namespace tarnwick
