#pragma once

#include "services/store/QuickLookService.h"

#include <QThreadPool>
#include <QWidget>

#include <optional>

class QLabel;
class QPlainTextEdit;
class QStackedWidget;

namespace tarnwick {

// The floating preview window: one item at a time, a picture, the start of a
// text, a folder's summary or a file's name, kind, size and dates. A new path
// replaces the shown one in place. What to show is worked out on a worker
// thread so a slow disk or a large picture never stalls the program; a result
// that arrives after a newer request is dropped.
class PreviewWindow : public QWidget {
    Q_OBJECT

public:
    explicit PreviewWindow(QWidget* parent = nullptr);
    ~PreviewWindow() override;

    // Shows the window with the path (loading it in the background) and brings it to the front.
    void showPath(const QString& path);
    // Shows an already inspected item.
    void present(const QuickLookService::Preview& preview);

    // The path of the latest request, and what is shown for it once loaded.
    QString requestedPath() const { return requestedPath_; }
    const std::optional<QuickLookService::Preview>& shown() const { return shown_; }
    // The summary lines under the content ("Folder", "12 items", "Modified ...").
    QStringList detailLines() const;

    // The lines that describe an item, as the window shows them.
    static QStringList describe(const QuickLookService::Preview& preview);

signals:
    // A requested path has been loaded and is on screen.
    void loaded(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateImage();

    QThreadPool pool_;
    quint64 generation_ = 0;
    QString requestedPath_;
    std::optional<QuickLookService::Preview> shown_;

    QLabel* icon_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QLabel* picture_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLabel* bigIcon_ = nullptr;
    QLabel* details_ = nullptr;
    QLabel* note_ = nullptr;
};

}  // namespace tarnwick
