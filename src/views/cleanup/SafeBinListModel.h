#pragma once

#include "state/AppState.h"

#include <QAbstractListModel>

#include <vector>

namespace tarnwick {

// The Safe Bin's entries as list rows, one per entry in list order. It keeps
// the list it shows (shared, never copied) and follows each change of it row
// by row: only the rows a change names are inserted, removed or redrawn.
class SafeBinListModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit SafeBinListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // The display name (display role), name and path (tool tip), name, path
    // and size (accessible text).
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    const SafeBinEntry& entry(int row) const { return *rows_[size_t(row)]; }
    // The version of the list shown (see SafeBinChange); 0 before any.
    quint64 version() const { return version_; }
    bool holdsList() const { return list_ != nullptr; }

    // Shows this list in place of the one shown (a reset).
    void reset(AppState::SafeBinList list, quint64 version);
    // Moves on to the list a change made of the one shown: removes, inserts
    // and redraws the rows it names. A change that does not follow the list
    // shown resets to the new list.
    void apply(AppState::SafeBinList list, const SafeBinChange& change);
    // Lets go of the list: no rows until the next reset.
    void clear();

private:
    bool fits(const SafeBinChange& change, size_t afterSize) const;
    void replaceList(AppState::SafeBinList list);

    AppState::SafeBinList list_;
    // The rows' entries: inside list_, and while a change is applied also
    // inside the list before it.
    std::vector<const SafeBinEntry*> rows_;
    quint64 version_ = 0;
};

}  // namespace tarnwick
