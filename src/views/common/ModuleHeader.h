#pragma once

#include <QWidget>

class QHBoxLayout;
class QLabel;

namespace tarnwick {

// The header of a module screen: the title over a status line on the left,
// then flexible space, then the screen's controls in the order added.
class ModuleHeader : public QWidget {
    Q_OBJECT

public:
    explicit ModuleHeader(const QString& title, QWidget* parent = nullptr);

    QString title() const;
    void setStatusText(const QString& text);
    QString statusText() const;
    // Adds a control at the right end, after those added before.
    void addControl(QWidget* control);

private:
    QLabel* title_ = nullptr;
    QLabel* status_ = nullptr;
    QHBoxLayout* row_ = nullptr;
};

}  // namespace tarnwick
