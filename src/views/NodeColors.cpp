#include "views/NodeColors.h"

#include "app/TaldoTheme.h"

#include <QHash>

namespace tarnwick::NodeColors {

const QColor& forName(const QString& name) {
    // An unsigned hash has no sign to strip, so no value can overflow.
    const size_t hash = qHash(name);
    return TaldoTheme::folderPalette()[hash % TaldoTheme::folderPaletteSize];
}

}  // namespace tarnwick::NodeColors
