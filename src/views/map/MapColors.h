#pragma once

#include "models/NodeKind.h"

#include <QColor>
#include <QString>
#include <QtGlobal>

namespace tarnwick {

class ScanNode;

// The colour rules of the space map renderings (colours of TaldoTheme).
// Files, merged groups, restricted and virtual nodes always take their kind
// colour; folders take a colour of the ten-colour folder palette, chosen by
// one of three rules (sunburst index, rank, or name hash).
namespace MapColors {

inline constexpr quint64 kPaletteLength = 10;

// Folder palette colour at index modulo the palette length.
const QColor& palette(quint64 index);

// |value| without overflow, also for the most negative value.
quint64 magnitude(qint64 value);

// Hash of a folder name, fixed for the life of the process (the seed is
// taken once); it may differ at the next launch. Shared with the contents
// list, so a folder's tile and icon share a colour.
quint64 nameHash(const QString& name);

// Kind colour for file, smallGroup, restricted and virtual; null for dir.
const QColor* kindColor(NodeKind kind);

// Sunburst: folders take palette[|colorIndex| mod 10].
const QColor& forIndex(const ScanNode& node, qint64 colorIndex);
// Bars and rings: folders take palette[rank mod 10].
const QColor& forRank(const ScanNode& node, quint64 rank);
// Treemap and contents list: folders take palette[nameHash mod 10].
const QColor& forName(const ScanNode& node);

// The colour with its opacity multiplied by the given factor (a colour
// that is translucent already stays so).
QColor withOpacity(const QColor& colour, double opacity);

}  // namespace MapColors

}  // namespace tarnwick
