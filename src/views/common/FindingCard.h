#pragma once

#include "views/common/FilledPanel.h"

class QLabel;
class QVBoxLayout;

namespace tarnwick {

// One group of findings on a module screen: a panel-coloured card with the
// group's symbol and title, its total on the right, a one-line description,
// then the group's rows.
class FindingCard : public FilledPanel {
    Q_OBJECT

public:
    FindingCard(const QString& symbol, const QString& title, const QString& description, QWidget* parent = nullptr);

    QString title() const;
    void setTotalText(const QString& text);
    QString totalText() const;
    // Adds a row under those added before; the card takes it over.
    void addRow(QWidget* row);
    QList<QWidget*> rows() const;

private:
    QLabel* title_ = nullptr;
    QLabel* total_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
    int firstRow_ = 0;
};

}  // namespace tarnwick
