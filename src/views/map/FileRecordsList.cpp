#include "views/map/FileRecordsList.h"

#include "design/TaldoTheme.h"
#include "support/ByteCountFormatter.h"
#include "views/common/ElidedLabel.h"
#include "views/common/HairlineDivider.h"
#include "views/common/ViewText.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

// One ranked file; double-clicks and menu requests go to its callbacks.
class RecordRow : public QWidget {
public:
    RecordRow(std::function<void()> onDoubleClick, std::function<void(const QPoint&)> onMenu, QWidget* parent)
        : QWidget(parent), onDoubleClick_(std::move(onDoubleClick)), onMenu_(std::move(onMenu)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && onDoubleClick_) onDoubleClick_();
    }
    void contextMenuEvent(QContextMenuEvent* event) override {
        if (onMenu_) onMenu_(event->globalPos());
    }

private:
    std::function<void()> onDoubleClick_;
    std::function<void(const QPoint&)> onMenu_;
};

}  // namespace

FileRecordsList::FileRecordsList(const QString& title, const QString& subtitle, const QString& emptyMessage,
                                 QWidget* parent)
    : InsightsListFrame(title, subtitle, emptyMessage, 13, parent) {
    setObjectName(QStringLiteral("FileRecordsList"));
}

void FileRecordsList::setActions(Actions actions) {
    actions_ = std::move(actions);
}

void FileRecordsList::setRecords(const QList<FileRecord>& records) {
    if (built_ && records == records_) return;
    built_ = true;
    records_ = records;
    clearItems();
    for (int i = 0; i < records_.size(); ++i) {
        itemsLayout()->addWidget(makeRow(i, records_[i]));
        itemsLayout()->addWidget(new HairlineDivider(
            Qt::Horizontal, T::withOpacity(T::panelBorder(), T::panelBorder().alphaF() * 0.6), itemsHost()));
    }
    itemsLayout()->addStretch(1);
    showEmptyText(records_.isEmpty());
}

QList<QWidget*> FileRecordsList::rows() const {
    QList<QWidget*> result;
    for (int i = 0; i < itemsLayout()->count(); ++i) {
        QWidget* widget = itemsLayout()->itemAt(i)->widget();
        if (widget && widget->objectName() == QLatin1String("recordRow")) result.append(widget);
    }
    return result;
}

std::unique_ptr<QMenu> FileRecordsList::contextMenu(int index, QWidget* parent) const {
    auto menu = std::make_unique<QMenu>(parent);
    if (index < 0 || index >= records_.size()) return menu;
    const FileRecord record = records_[index];
    const Actions actions = actions_;
    menu->addAction(QStringLiteral("Preview"), [actions, record] {
        if (actions.onPreview) actions.onPreview(record);
    });
    menu->addAction(QStringLiteral("Move to Collector"), [actions, record] {
        if (actions.onCollect) actions.onCollect(record);
    });
    menu->addAction(QStringLiteral("Reveal in File Manager"), [actions, record] {
        if (actions.onReveal) actions.onReveal(record);
    });
    return menu;
}

QWidget* FileRecordsList::makeRow(int index, const FileRecord& record) {
    auto* row = new RecordRow(
        [this, record] {
            if (actions_.onPreview) actions_.onPreview(record);
        },
        [this, index](const QPoint& at) {
            const std::unique_ptr<QMenu> menu = contextMenu(index, this);
            menu->exec(at);
        },
        itemsHost());
    row->setObjectName(QStringLiteral("recordRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(12);

    auto* rank = ViewText::label(QString::number(index + 1), 11, QFont::Bold, T::textSecondary(), row);
    rank->setObjectName(QStringLiteral("recordRank"));
    rank->setFixedWidth(28);
    rank->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(rank);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    auto* name = new ElidedLabel(record.name, Qt::ElideRight, row);
    name->setObjectName(QStringLiteral("recordName"));
    name->setFont(ViewText::font(13, QFont::Medium));
    ViewText::setTextColor(name, T::textPrimary());
    auto* path = new ElidedLabel(record.path, Qt::ElideMiddle, row);
    path->setObjectName(QStringLiteral("recordPath"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(10);
    path->setFont(mono);
    ViewText::setTextColor(path, T::textSecondary());
    auto* age = ViewText::label(record.ageDescription(), 10, QFont::Normal,
                                T::withOpacity(T::textSecondary(), T::textSecondary().alphaF() * 0.85), row);
    age->setObjectName(QStringLiteral("recordAge"));
    texts->addWidget(name);
    texts->addWidget(path);
    texts->addWidget(age);
    layout->addLayout(texts, 1);

    auto* size = ViewText::label(ByteCountFormatter::fileStyle(record.size), 13, QFont::DemiBold, T::accent(), row);
    size->setObjectName(QStringLiteral("recordSize"));
    layout->addWidget(size, 0, Qt::AlignVCenter);
    return row;
}

}  // namespace tarnwick
