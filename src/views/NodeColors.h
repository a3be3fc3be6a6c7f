#pragma once

#include <QColor>
#include <QString>

namespace tarnwick {

// Colours chosen by name: a folder (in the contents list) and a kind of file
// (in the file-type cards) keep the palette colour of their name's hash for
// the life of the process.
namespace NodeColors {

// The folder palette entry for a name.
const QColor& forName(const QString& name);

}  // namespace NodeColors

}  // namespace tarnwick
