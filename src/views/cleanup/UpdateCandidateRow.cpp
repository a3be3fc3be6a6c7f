#include "views/cleanup/UpdateCandidateRow.h"

#include "design/TaldoPrimaryButton.h"
#include "design/TaldoTheme.h"
#include "views/common/ClampedText.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

}  // namespace

UpdateCandidateRow::UpdateCandidateRow(const AppUpdateItem& item, QWidget* parent)
    : FilledPanel(T::panel(), 8, parent), item_(item) {
    setObjectName(QStringLiteral("updateRow"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(12);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto* name = ViewText::label(item.name, 13, QFont::DemiBold, T::textPrimary(), this);
    name->setObjectName(QStringLiteral("updateName"));
    texts->addWidget(name);
    auto* version = ViewText::label(QStringLiteral("Installed ") + item.installedVersion, 11, QFont::Normal,
                                    T::textSecondary(), this);
    version->setObjectName(QStringLiteral("updateVersion"));
    texts->addWidget(version);
    auto* reason = new ClampedText(2, this);
    reason->setObjectName(QStringLiteral("updateReason"));
    reason->setFont(ViewText::font(11));
    ViewText::setTextColor(reason, T::warning());
    reason->setText(item.reason);
    texts->addWidget(reason);
    layout->addLayout(texts, 1);

    // A user Flatpak app's button runs its update, so it says so; any other opens.
    const QString action = !item.userFlatpakId ? QStringLiteral("Open")
                           : item.isUpdating   ? QStringLiteral("Updating\u2026")
                                               : QStringLiteral("Update");
    open_ = new TaldoPrimaryButton(action, this);
    open_->setObjectName(QStringLiteral("updateOpen"));
    open_->setEnabled(!item.isUpdating);
    connect(open_, &QPushButton::clicked, this, [this] { emit openRequested(item_); });
    layout->addWidget(open_, 0, Qt::AlignVCenter);
}

}  // namespace tarnwick
