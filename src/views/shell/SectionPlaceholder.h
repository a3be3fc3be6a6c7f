#pragma once

#include <QWidget>

namespace tarnwick {

// What the detail area shows for a screen this version does not have: the
// section's icon and title and one sentence saying so.
class SectionPlaceholder : public QWidget {
    Q_OBJECT

public:
    SectionPlaceholder(const QString& title, const QString& symbolName, QWidget* parent = nullptr);
    SectionPlaceholder(const QString& title, const QString& symbolName, const QString& message,
                       QWidget* parent = nullptr);

    static QString message() { return QStringLiteral("This section is not available in this version."); }
};

}  // namespace tarnwick
