#include "services/safebin/SafeBinErrors.h"

#include "support/FileError.h"
#include "support/PathRules.h"

namespace tarnwick::SafeBinErrors {

QString pathListText(const QStringList& paths) {
    QStringList named;
    for (qsizetype i = 0; i < paths.size() && i < kNamedFailures; ++i) {
        named.append(FileError::quoted(PathRules::abbreviatingWithTilde(paths[i])));
    }
    QString text = named.join(QStringLiteral(", "));
    if (paths.size() > kNamedFailures) {
        text += QStringLiteral(" and ") + QString::number(paths.size() - kNamedFailures) + QStringLiteral(" more");
    }
    return text;
}

}  // namespace tarnwick::SafeBinErrors
