#include "views/map/FileTypesView.h"

#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"
#include "support/ByteCountFormatter.h"
#include "views/common/FilledPanel.h"
#include "views/map/MapColors.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kBarHeight = 6;

// The share bar of a card: a faint track and the filled part in the kind's colour.
class ShareBar : public QWidget {
public:
    ShareBar(double share, const QColor& color, QWidget* parent) : QWidget(parent), share_(share), color_(color) {
        setFixedHeight(kBarHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF track(rect());
        painter.fillPath(TaldoShapes::capsule(track), QColor(255, 255, 255, int(0.06 * 255)));
        const double filled = FileTypesView::filledBarWidth(track.width(), share_);
        painter.fillPath(TaldoShapes::capsule(QRectF(track.left(), track.top(), filled, track.height())), color_);
    }

private:
    double share_;
    QColor color_;
};

}  // namespace

FileTypesView::FileTypesView(QWidget* parent)
    : InsightsListFrame(QStringLiteral("File types"), QStringLiteral("Where the space goes, by kind of file"),
                        QStringLiteral("Scan a volume to see type breakdown."), 13, parent) {
    setObjectName(QStringLiteral("FileTypesView"));
    itemsLayout()->setContentsMargins(20, 20, 20, 20);
    itemsLayout()->setSpacing(10);
}

void FileTypesView::setTypes(const QList<TypeBucket>& types, qint64 totalBytes) {
    if (built_ && types == types_ && totalBytes == totalBytes_) return;
    built_ = true;
    types_ = types;
    totalBytes_ = totalBytes;
    clearItems();
    for (const TypeBucket& bucket : types_) {
        auto* card = new FilledPanel(T::panel(), 10, itemsHost());
        card->setObjectName(QStringLiteral("typeCard"));
        auto* layout = new QVBoxLayout(card);
        layout->setContentsMargins(12, 12, 12, 12);
        layout->setSpacing(6);
        auto* line = new QHBoxLayout;
        auto* name = ViewText::label(bucket.name, 13, QFont::DemiBold, T::textPrimary(), card);
        name->setObjectName(QStringLiteral("typeName"));
        auto* count = ViewText::label(countText(bucket.count), 11, QFont::Normal, T::textSecondary(), card);
        count->setObjectName(QStringLiteral("typeCount"));
        auto* size = ViewText::label(ByteCountFormatter::fileStyle(bucket.size), 12, QFont::DemiBold, T::accent(), card);
        size->setObjectName(QStringLiteral("typeSize"));
        line->addWidget(name);
        line->addWidget(count);
        line->addStretch(1);
        line->addWidget(size);
        layout->addLayout(line);
        layout->addWidget(new ShareBar(share(bucket.size, totalBytes_), MapColors::palette(MapColors::nameHash(bucket.name)), card));
        itemsLayout()->addWidget(card);
    }
    itemsLayout()->addStretch(1);
    showEmptyText(types_.isEmpty());
}

QList<QWidget*> FileTypesView::cards() const {
    QList<QWidget*> result;
    for (int i = 0; i < itemsLayout()->count(); ++i) {
        QWidget* widget = itemsLayout()->itemAt(i)->widget();
        if (widget && widget->objectName() == QLatin1String("typeCard")) result.append(widget);
    }
    return result;
}

double FileTypesView::share(qint64 size, qint64 totalBytes) {
    return totalBytes >= 1 ? double(size) / double(totalBytes) : 0.0;
}

double FileTypesView::filledBarWidth(double barWidth, double share) {
    return std::max(4.0, barWidth * share);
}

QString FileTypesView::countText(qint64 count) {
    return QString::number(count) + QStringLiteral(" files");
}

}  // namespace tarnwick
