#pragma once

#include "models/TypeBucket.h"
#include "views/map/InsightsListFrame.h"

#include <QList>

namespace tarnwick {

// One card per kind of file: its name, file count and bytes, and a bar for
// its share of all counted bytes. With no kinds it shows its empty text.
class FileTypesView : public InsightsListFrame {
    Q_OBJECT

public:
    explicit FileTypesView(QWidget* parent = nullptr);

    // Rebuilds the cards; each card's share is measured against totalBytes.
    void setTypes(const QList<TypeBucket>& types, qint64 totalBytes);
    const QList<TypeBucket>& types() const { return types_; }
    qint64 totalBytes() const { return totalBytes_; }

    // The card widgets in order (each has the object name "typeCard").
    QList<QWidget*> cards() const;

    // size / totalBytes, or 0 when totalBytes is below 1.
    static double share(qint64 size, qint64 totalBytes);
    // The filled width of a card's bar: at least 4.
    static double filledBarWidth(double barWidth, double share);
    // "12 files".
    static QString countText(qint64 count);

private:
    QList<TypeBucket> types_;
    qint64 totalBytes_ = 0;
    bool built_ = false;
};

}  // namespace tarnwick
