#pragma once

#include "models/MaintenanceTask.h"

#include <QWidget>

class QLabel;

namespace tarnwick {

class ClampedText;
class TaldoButton;

// One maintenance task on the Performance screen: its title, the line that
// says what it runs and, once it has run, the text of its latest run; then
// its "Run" button, disabled while the task runs.
class MaintenanceRow : public QWidget {
    Q_OBJECT

public:
    // How many lines of a result are shown (the whole text is kept and logged).
    static constexpr int resultLines = 6;

    explicit MaintenanceRow(const MaintenanceTask& task, QWidget* parent = nullptr);

    const MaintenanceTask& task() const { return task_; }
    // Shows new values of the same task (its result, whether it runs).
    void setTask(const MaintenanceTask& task);
    TaldoButton* runButton() const { return run_; }
    // The result text shown, or empty when there is none yet.
    QString resultText() const;

signals:
    void runRequested();

private:
    void apply();

    MaintenanceTask task_;
    QLabel* title_ = nullptr;
    QLabel* description_ = nullptr;
    ClampedText* result_ = nullptr;
    TaldoButton* run_ = nullptr;
};

}  // namespace tarnwick
