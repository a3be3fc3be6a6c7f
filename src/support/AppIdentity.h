#pragma once

#include <QString>
#include <QUrl>

namespace tarnwick {

// The places and the one address the program keeps for itself.
namespace AppIdentity {

// "<Application Support>/Tarnwick"; created (with parents) on every access,
// a failure to create it is ignored and the path returned all the same.
QString supportDirectory();
// "<Application Support>/Taldovane", the folder of the earlier product name;
// never created, never checked.
QString legacySupportDirectory();
// The product website.
QUrl websiteURL();

}  // namespace AppIdentity

}  // namespace tarnwick
