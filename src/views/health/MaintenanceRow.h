#pragma once

#include "models/MaintenanceTask.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace tarnwick {

class TaldoButton;

// One maintenance task on the Performance screen: its title, the line that
// says what it runs and, once it has run, the text of its latest run with
// its line breaks, which scrolls when it is longer than a few lines and can
// be selected and copied; then its "Run" button, disabled while the task runs.
class MaintenanceRow : public QWidget {
    Q_OBJECT

public:
    // How many lines of a result show at once; the rest scrolls into view.
    static constexpr int resultLines = 6;

    explicit MaintenanceRow(const MaintenanceTask& task, QWidget* parent = nullptr);

    const MaintenanceTask& task() const { return task_; }
    // Shows new values of the same task (its result, whether it runs).
    void setTask(const MaintenanceTask& task);
    TaldoButton* runButton() const { return run_; }
    // The result text shown, or empty when there is none yet.
    QString resultText() const;
    // Where the result is shown.
    QPlainTextEdit* resultView() const { return result_; }

signals:
    void runRequested();

private:
    void apply();
    void fitResult();

    MaintenanceTask task_;
    QLabel* title_ = nullptr;
    QLabel* description_ = nullptr;
    QPlainTextEdit* result_ = nullptr;
    TaldoButton* run_ = nullptr;
};

}  // namespace tarnwick
