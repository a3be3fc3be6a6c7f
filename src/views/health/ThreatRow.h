#pragma once

#include "models/ProtectionFinding.h"
#include "views/common/FilledPanel.h"

class QLabel;

namespace tarnwick {

class ElidedLabel;
class PlainButton;

// One threat finding on the Protection screen: a check circle; the title,
// the kind with the severity in capitals (in the danger colour for a high
// finding, the warning colour otherwise), the detail and the path (the home
// folder as "~") on one line; then a button that reveals the finding in the
// file manager. The row only reports clicks.
class ThreatRow : public FilledPanel {
    Q_OBJECT

public:
    explicit ThreatRow(const ProtectionFinding& finding, QWidget* parent = nullptr);

    // "Suspicious startup entry · HIGH".
    static QString kindLine(const ProtectionFinding& finding);

    const ProtectionFinding& finding() const { return finding_; }
    // Shows new values for the same finding (the tick, mostly).
    void setFinding(const ProtectionFinding& finding);

signals:
    void toggleRequested(const QUuid& id);
    void revealRequested(const QString& path);

private:
    void apply();

    ProtectionFinding finding_;
    PlainButton* check_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* kind_ = nullptr;
    QLabel* detail_ = nullptr;
    ElidedLabel* path_ = nullptr;
};

}  // namespace tarnwick
