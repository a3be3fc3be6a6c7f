#include "support/ReverseDnsName.h"

namespace tarnwick::ReverseDnsName {

namespace {

constexpr int kFewestParts = 3;

bool isPartCharacter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_' ||
           u == u'-';
}

}  // namespace

bool isValid(const QString& name) {
    if (name.isEmpty() || name.size() > kLongest) return false;
    int parts = 0;
    qsizetype partStart = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name.at(i) == QLatin1Char('.')) {
            if (i == partStart) return false;  // an empty part: leading, trailing or doubled dot
            const char16_t first = name.at(partStart).unicode();
            if (first >= u'0' && first <= u'9') return false;
            ++parts;
            partStart = i + 1;
            continue;
        }
        if (!isPartCharacter(name.at(i))) return false;
    }
    return parts >= kFewestParts;
}

}  // namespace tarnwick::ReverseDnsName
