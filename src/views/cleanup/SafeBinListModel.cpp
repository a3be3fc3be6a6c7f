#include "views/cleanup/SafeBinListModel.h"

#include "support/ByteCountFormatter.h"

#include <QThreadPool>

namespace tarnwick {

namespace {

// Frees a list this model held last on a pool thread: a long one takes a
// while to free.
void releaseElsewhere(AppState::SafeBinList list) {
    if (!list) return;
    QThreadPool::globalInstance()->start([list = std::move(list)]() mutable { list.reset(); });
}

}  // namespace

SafeBinListModel::SafeBinListModel(QObject* parent) : QAbstractListModel(parent) {}

int SafeBinListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant SafeBinListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const SafeBinEntry& item = entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return item.displayName;
    case Qt::ToolTipRole:
        return item.displayName + QLatin1Char('\n') + item.originalPath;
    case Qt::AccessibleTextRole:
        return item.displayName + QStringLiteral(", ") + item.originalPath + QStringLiteral(", ") +
               ByteCountFormatter::fileStyle(item.size);
    default:
        return {};
    }
}

void SafeBinListModel::reset(AppState::SafeBinList list, quint64 version) {
    beginResetModel();
    rows_.clear();
    if (list) {
        rows_.reserve(list->size());
        for (const SafeBinEntry& item : *list) rows_.push_back(&item);
    }
    replaceList(std::move(list));
    version_ = version;
    endResetModel();
}

void SafeBinListModel::clear() {
    if (!list_) return;
    beginResetModel();
    rows_ = {};
    replaceList(nullptr);
    endResetModel();
}

bool SafeBinListModel::fits(const SafeBinChange& change, size_t afterSize) const {
    const size_t before = rows_.size();
    if (change.whole || !list_ || change.version != version_ + 1) return false;
    if (change.removed.size() > before || before - change.removed.size() + change.inserted.size() != afterSize) {
        return false;
    }
    auto within = [](const std::vector<qsizetype>& rows, size_t size) {
        return rows.empty() || (rows.front() >= 0 && size_t(rows.back()) < size);
    };
    return within(change.removed, before) && within(change.inserted, afterSize) && within(change.updated, afterSize);
}

void SafeBinListModel::apply(AppState::SafeBinList list, const SafeBinChange& change) {
    if (!list || !fits(change, list->size())) {
        reset(std::move(list), change.version);
        return;
    }
    // The list before stays alive until every row points into the new one.
    AppState::SafeBinList before = list_;
    list_ = std::move(list);
    const std::vector<SafeBinEntry>& after = *list_;

    // Each run of neighbouring rows leaves or comes in one step: the highest
    // run leaves first, so the positions of the lower ones still hold; then
    // the lowest run comes first, at its place in the list after.
    const std::vector<qsizetype>& removed = change.removed;
    for (size_t end = removed.size(); end > 0;) {
        size_t begin = end - 1;
        while (begin > 0 && removed[begin - 1] == removed[begin] - 1) --begin;
        const int first = int(removed[begin]);
        const int last = int(removed[end - 1]);
        beginRemoveRows({}, first, last);
        rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
        endRemoveRows();
        end = begin;
    }
    const std::vector<qsizetype>& inserted = change.inserted;
    for (size_t begin = 0; begin < inserted.size();) {
        size_t end = begin + 1;
        while (end < inserted.size() && inserted[end] == inserted[end - 1] + 1) ++end;
        const int first = int(inserted[begin]);
        const int last = int(inserted[end - 1]);
        beginInsertRows({}, first, last);
        rows_.insert(rows_.begin() + first, size_t(last - first + 1), nullptr);
        for (int row = first; row <= last; ++row) rows_[size_t(row)] = &after[size_t(row)];
        endInsertRows();
        begin = end;
    }
    for (size_t row = 0; row < rows_.size(); ++row) rows_[row] = &after[row];
    version_ = change.version;

    const std::vector<qsizetype>& updated = change.updated;
    for (size_t begin = 0; begin < updated.size();) {
        size_t end = begin + 1;
        while (end < updated.size() && updated[end] == updated[end - 1] + 1) ++end;
        emit dataChanged(index(int(updated[begin])), index(int(updated[end - 1])));
        begin = end;
    }
    releaseElsewhere(std::move(before));
}

void SafeBinListModel::replaceList(AppState::SafeBinList list) {
    releaseElsewhere(std::exchange(list_, std::move(list)));
}

}  // namespace tarnwick
