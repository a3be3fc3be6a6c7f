#pragma once

#include "models/FileRecord.h"
#include "views/map/InsightsListFrame.h"

#include <QList>

#include <functional>
#include <memory>

class QMenu;

namespace tarnwick {

// A ranked list of files: rank, name, full path, age and size per row. A
// double-click previews a row's file; its context menu previews, collects or
// reveals it. With no records it shows its empty message instead.
class FileRecordsList : public InsightsListFrame {
    Q_OBJECT

public:
    struct Actions {
        std::function<void(const FileRecord&)> onCollect;  // "Move to Collector"
        std::function<void(const FileRecord&)> onReveal;   // "Reveal in File Manager"
        std::function<void(const FileRecord&)> onPreview;  // double-click and "Preview"
    };

    FileRecordsList(const QString& title, const QString& subtitle, const QString& emptyMessage,
                    QWidget* parent = nullptr);

    void setActions(Actions actions);
    // Rebuilds the rows (nothing happens when the records are the same).
    void setRecords(const QList<FileRecord>& records);
    const QList<FileRecord>& records() const { return records_; }

    // The row widgets in order (each has the object name "recordRow").
    QList<QWidget*> rows() const;
    // The context menu of the row at a position (the caller owns it).
    std::unique_ptr<QMenu> contextMenu(int index, QWidget* parent = nullptr) const;

private:
    QWidget* makeRow(int index, const FileRecord& record);

    Actions actions_;
    QList<FileRecord> records_;
    bool built_ = false;
};

}  // namespace tarnwick
