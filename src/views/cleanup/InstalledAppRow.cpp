#include "views/cleanup/InstalledAppRow.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoTheme.h"
#include "support/ByteCountFormatter.h"
#include "support/PathRules.h"
#include "views/common/ElidedLabel.h"
#include "views/common/PlainButton.h"
#include "views/common/ViewText.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kCheckSize = 18;

QFont monospaced(int pixelSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace

InstalledAppRow::InstalledAppRow(const InstalledApp& app, QWidget* parent)
    : FilledPanel(T::panel(), 8, parent), app_(app) {
    setObjectName(QStringLiteral("installedAppRow"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 6, 12, 6);
    layout->setSpacing(12);

    check_ = new PlainButton(QString(), this);
    check_->setObjectName(QStringLiteral("appCheck"));
    connect(check_, &QAbstractButton::clicked, this, [this] { emit toggleRequested(app_.id); });
    layout->addWidget(check_, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    name_ = ViewText::label(QString(), 14, QFont::DemiBold, T::textPrimary(), this);
    name_->setObjectName(QStringLiteral("appName"));
    texts->addWidget(name_);
    path_ = new ElidedLabel(QString(), Qt::ElideMiddle, this);
    path_->setObjectName(QStringLiteral("appPath"));
    path_->setFont(monospaced(10));
    ViewText::setTextColor(path_, T::textSecondary());
    texts->addWidget(path_);
    note_ = ViewText::label(QString(), 11, QFont::Normal, T::textSecondary(), this);
    note_->setObjectName(QStringLiteral("appNote"));
    note_->setWordWrap(true);
    texts->addWidget(note_);
    leftoversLine_ = new PlainButton(QString(), this);
    leftoversLine_->setObjectName(QStringLiteral("appLeftovers"));
    leftoversLine_->setFont(ViewText::font(11, QFont::Medium));
    leftoversLine_->setTextColor(T::warning());
    leftoversLine_->setPadding(QMargins());
    leftoversLine_->setToolTip(QStringLiteral("What Uninstall and Reset move with the app"));
    connect(leftoversLine_, &QAbstractButton::clicked, this, [this] {
        setExpanded(!expanded_);
        emit expandedChanged(app_.id, expanded_);
    });
    texts->addWidget(leftoversLine_, 0, Qt::AlignLeft);
    leftoversList_ = new QWidget(this);
    leftoversList_->setObjectName(QStringLiteral("appLeftoverList"));
    leftoversLayout_ = new QVBoxLayout(leftoversList_);
    leftoversLayout_->setContentsMargins(12, 2, 0, 2);
    leftoversLayout_->setSpacing(2);
    texts->addWidget(leftoversList_);
    layout->addLayout(texts, 1);

    auto* trailing = new QVBoxLayout;
    trailing->setSpacing(6);
    size_ = ViewText::label(QString(), 13, QFont::Bold, T::accent(), this);
    size_->setObjectName(QStringLiteral("appSize"));
    trailing->addWidget(size_, 0, Qt::AlignRight);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    reset_ = new TaldoGhostButton(QStringLiteral("Reset"), this);
    reset_->setObjectName(QStringLiteral("appReset"));
    reset_->setToolTip(QStringLiteral("Move only the leftovers to the Safe Bin and keep the app"));
    connect(reset_, &QPushButton::clicked, this, [this] { emit resetRequested(app_); });
    buttons->addWidget(reset_);
    reveal_ = new PlainButton(QString(), this);
    reveal_->setObjectName(QStringLiteral("appReveal"));
    reveal_->setSymbol(QStringLiteral("folder"), 14);
    reveal_->setTextColor(T::textSecondary());
    reveal_->setToolTip(QStringLiteral("Reveal in File Manager"));
    connect(reveal_, &QAbstractButton::clicked, this, [this] { emit revealRequested(app_.path); });
    buttons->addWidget(reveal_);
    trailing->addLayout(buttons);
    trailing->addStretch(1);
    layout->addLayout(trailing);
    apply();
}

QString InstalledAppRow::leftoversText(const InstalledApp& app, bool expanded) {
    return QString(expanded ? QStringLiteral("\u25BE ") : QStringLiteral("\u25B8 ")) +
           QString::number(app.leftovers.size()) + QStringLiteral(" leftovers \u00B7 ") +
           ByteCountFormatter::fileStyle(app.leftoversBytes());
}

QString InstalledAppRow::noteText(const InstalledApp& app) {
    switch (app.kind) {
    case InstalledApp::Kind::flatpak:
        return QStringLiteral("Flatpak app: Uninstall keeps its data in the Safe Bin and removes the app with "
                              "flatpak; the app itself comes back from its remote, not from the Safe Bin.");
    case InstalledApp::Kind::systemFlatpak:
        return QStringLiteral("System installation: uninstalling it needs administrator rights, which Tarnwick "
                              "never asks for. Reset moves only your data.");
    case InstalledApp::Kind::bundle:
    case InstalledApp::Kind::appImage:
        break;
    }
    return QString();
}

void InstalledAppRow::setApp(const InstalledApp& app) {
    if (app == app_) return;
    const bool leftoversChanged = app.leftovers != app_.leftovers;
    app_ = app;
    apply();
    if (leftoversChanged) rebuildLeftovers();
}

void InstalledAppRow::setExpanded(bool expanded) {
    if (expanded == expanded_) return;
    expanded_ = expanded;
    apply();
}

QStringList InstalledAppRow::shownLeftoverPaths() const {
    QStringList paths;
    if (leftoversList_->isHidden()) return paths;
    for (int i = 0; i < leftoversLayout_->count(); ++i) {
        QWidget* line = leftoversLayout_->itemAt(i)->widget();
        if (auto* label = line ? line->findChild<ElidedLabel*>(QStringLiteral("appLeftoverPath")) : nullptr) {
            paths.append(label->text());
        }
    }
    return paths;
}

void InstalledAppRow::setResetEnabled(bool enabled) {
    reset_->setEnabled(enabled);
}

void InstalledAppRow::apply() {
    const bool ticked = app_.isSelected;
    check_->setSymbol(ticked ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"), kCheckSize);
    check_->setTextColor(ticked ? T::accentTeal() : T::textSecondary());
    check_->setProperty("checked", ticked);
    name_->setText(app_.name);
    path_->setText(PathRules::abbreviatingWithTilde(app_.path));
    const QString note = noteText(app_);
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
    // A system installation's app is not ticked for uninstalling.
    check_->setEnabled(app_.kind != InstalledApp::Kind::systemFlatpak);
    const bool hasLeftovers = !app_.leftovers.isEmpty();
    leftoversLine_->setText(leftoversText(app_, expanded_));
    leftoversLine_->setVisible(hasLeftovers);
    leftoversList_->setVisible(hasLeftovers && expanded_);
    if (hasLeftovers && expanded_ && leftoversLayout_->isEmpty()) rebuildLeftovers();
    size_->setText(ByteCountFormatter::fileStyle(app_.size));
    reset_->setVisible(hasLeftovers);
}

void InstalledAppRow::rebuildLeftovers() {
    while (QLayoutItem* item = leftoversLayout_->takeAt(0)) {
        if (QWidget* widget = item->widget()) widget->deleteLater();
        delete item;
    }
    if (!expanded_) return;
    for (const InstalledApp::Leftover& leftover : app_.leftovers) {
        auto* line = new QWidget(leftoversList_);
        auto* row = new QHBoxLayout(line);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        auto* path = new ElidedLabel(PathRules::abbreviatingWithTilde(leftover.path), Qt::ElideMiddle, line);
        path->setObjectName(QStringLiteral("appLeftoverPath"));
        path->setFont(monospaced(10));
        ViewText::setTextColor(path, T::textSecondary());
        row->addWidget(path, 1);
        auto* size = ViewText::label(ByteCountFormatter::fileStyle(leftover.size), 10, QFont::Medium,
                                     T::textSecondary(), line);
        row->addWidget(size);
        leftoversLayout_->addWidget(line);
    }
}

}  // namespace tarnwick
