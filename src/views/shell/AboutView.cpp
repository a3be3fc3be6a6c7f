#include "views/shell/AboutView.h"

#include "design/BrandMark.h"
#include "design/TaldoGhostButton.h"
#include "design/TaldoPrimaryButton.h"
#include "design/TaldoTheme.h"
#include "state/AppState.h"
#include "support/AppIdentity.h"
#include "views/common/FilledPanel.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

QString textValue(const QVariantMap& info, const char* key, const QString& fallback) {
    const auto found = info.constFind(QString::fromLatin1(key));
    if (found == info.constEnd() || found->typeId() != QMetaType::QString) return fallback;
    return found->toString();
}

}  // namespace

AboutView::AboutView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("AboutView"));
    setFocusPolicy(Qt::StrongFocus);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    auto* card = new FilledPanel(T::panelSolid(), 12, this);
    card->setBorder(T::panelBorder());
    card_ = card;
    card_->setObjectName(QStringLiteral("aboutCard"));
    card_->setFixedWidth(360);
    auto* layout = new QVBoxLayout(card_);
    layout->setContentsMargins(28, 28, 28, 28);
    layout->setSpacing(16);

    layout->addWidget(new BrandMark(64, true, card_), 0, Qt::AlignHCenter);
    auto* name = ViewText::label(QStringLiteral("Tarnwick"), 24, QFont::Bold, T::textPrimary(), card_);
    layout->addWidget(name, 0, Qt::AlignHCenter);
    auto* tagline = ViewText::label(QStringLiteral("Reclaim your computer \u2014 map, clean, protect."), 13,
                                    QFont::Normal, T::textSecondary(), card_);
    tagline->setAlignment(Qt::AlignHCenter);
    tagline->setWordWrap(true);
    layout->addWidget(tagline);
    auto* version = ViewText::label(versionLine(), 11, QFont::Normal, T::textSecondary(), card_);
    version->setObjectName(QStringLiteral("aboutVersion"));
    version->setAlignment(Qt::AlignHCenter);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(version);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addStretch(1);
    auto* website = new TaldoPrimaryButton(QStringLiteral("Website"), card_);
    connect(website, &QPushButton::clicked, this, [this] { state_.openURL(AppIdentity::websiteURL()); });
    auto* close = new TaldoGhostButton(QStringLiteral("Close"), card_);
    connect(close, &QPushButton::clicked, this, [this] { state_.setShowAbout(false); });
    buttons->addWidget(website, 0, Qt::AlignVCenter);
    buttons->addWidget(close, 0, Qt::AlignVCenter);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    outer->addWidget(card_, 0, Qt::AlignCenter);
}

QString AboutView::versionLine(const QVariantMap& info) {
    const QString shortVersion = textValue(info, shortVersionKey, QStringLiteral("1.0"));
    const QString build = textValue(info, buildNumberKey, QStringLiteral("1"));
    return QStringLiteral("Version ") + shortVersion + QStringLiteral(" (") + build +
           QStringLiteral(") \u00B7 com.merrowfield4.tarnwick");
}

QVariantMap AboutView::buildInfo() {
    QVariantMap info;
    // An empty definition counts as no value at all.
    const QString version = QStringLiteral(TARNWICK_VERSION);
    const QString build = QStringLiteral(TARNWICK_BUILD_NUMBER);
    if (!version.isEmpty()) info.insert(QString::fromLatin1(shortVersionKey), version);
    if (!build.isEmpty()) info.insert(QString::fromLatin1(buildNumberKey), build);
    return info;
}

void AboutView::paintEvent(QPaintEvent*) {
    // The window behind the sheet is dimmed and takes no clicks while it is up.
    QPainter(this).fillRect(rect(), QColor(0, 0, 0, 110));
}

void AboutView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        state_.setShowAbout(false);
        return;
    }
    QWidget::keyPressEvent(event);
}

void AboutView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    setFocus(Qt::OtherFocusReason);
}

}  // namespace tarnwick
