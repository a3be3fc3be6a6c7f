#include "views/shell/SectionPlaceholder.h"

#include "design/SymbolIcons.h"
#include "design/TaldoTheme.h"
#include "views/common/ViewText.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

SectionPlaceholder::SectionPlaceholder(const QString& title, const QString& symbolName, QWidget* parent)
    : SectionPlaceholder(title, symbolName, message(), parent) {}

SectionPlaceholder::SectionPlaceholder(const QString& title, const QString& symbolName, const QString& message,
                                       QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("SectionPlaceholder"));
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->addStretch(1);
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("placeholderIcon"));
    icon->setPixmap(SymbolIcons::icon(symbolName, TaldoTheme::textSecondary(), 48).pixmap(48, 48));
    icon->setAlignment(Qt::AlignHCenter);
    layout->addWidget(icon);
    auto* heading = ViewText::label(title, 22, QFont::Bold, TaldoTheme::textPrimary(), this);
    heading->setObjectName(QStringLiteral("placeholderTitle"));
    heading->setAlignment(Qt::AlignHCenter);
    layout->addWidget(heading);
    auto* sentence = ViewText::label(message, 13, QFont::Normal, TaldoTheme::textSecondary(), this);
    sentence->setObjectName(QStringLiteral("placeholderMessage"));
    sentence->setAlignment(Qt::AlignHCenter);
    sentence->setWordWrap(true);
    layout->addWidget(sentence);
    layout->addStretch(1);
}

}  // namespace tarnwick
