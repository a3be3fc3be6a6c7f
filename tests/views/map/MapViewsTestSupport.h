#pragma once

#include "models/ScanInsights.h"
#include "models/ScanNode.h"
#include "services/scan/CachedScan.h"
#include "state/MapServices.h"

#include "state/StateTestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace tarnwick::test {

// A small tree under rootPath:
//   Stuff/ Movies/ (a.mov 3000, b.mov 1000), Docs/ (c.pdf 500), notes.txt 700, Empty/ (no children), Locked (restricted)
struct DemoTree {
    ScanNodePtr root, movies, aMov, bMov, docs, cPdf, notes, empty, locked;
};

inline DemoTree makeDemoTree(const QString& rootPath) {
    auto node = [](const QString& name, const QString& path, NodeKind kind, qint64 size,
                   std::vector<ScanNodePtr> children = {}) {
        return ScanNode::create(QUuid::createUuid(), name, path, kind, size, std::move(children));
    };
    DemoTree t;
    const QString m = rootPath + "/Movies";
    t.aMov = node("a.mov", m + "/a.mov", NodeKind::file, 3000);
    t.bMov = node("b.mov", m + "/b.mov", NodeKind::file, 1000);
    t.movies = node("Movies", m, NodeKind::dir, 0, {t.aMov, t.bMov});
    t.cPdf = node("c.pdf", rootPath + "/Docs/c.pdf", NodeKind::file, 500);
    t.docs = node("Docs", rootPath + "/Docs", NodeKind::dir, 0, {t.cPdf});
    t.notes = node("notes.txt", rootPath + "/notes.txt", NodeKind::file, 700);
    t.empty = node("Empty", rootPath + "/Empty", NodeKind::dir, 0);
    t.locked = node("Locked", rootPath + "/Locked", NodeKind::restricted, 0);
    t.root = node("Stuff", rootPath, NodeKind::dir, 0, {t.movies, t.docs, t.notes, t.empty, t.locked});
    t.root->finalize(0.0);
    return t;
}

// Test services whose cache holds the tree (and insights) at start-up.
inline MapServices servicesWithTree(const ScanNodePtr& root, const ScanInsights& insights = ScanInsights::empty()) {
    MapServices services = testServices();
    services.loadCache = [root, insights] {
        return std::optional<CachedScan>(
            CachedScan{root->path(), root->name, QDateTime::currentDateTimeUtc(), root, insights});
    };
    services.saveCache = nullptr;
    return services;
}

// Sends a key press as the keyboard would: to the widget, then up its parents
// while nobody accepts it. True when someone accepted it.
inline bool pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                     const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
    return press.isAccepted();
}

inline void mouse(QWidget* target, QEvent::Type type, const QPoint& at, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

inline void clickAt(QWidget* target, const QPoint& at) {
    mouse(target, QEvent::MouseButtonPress, at);
    mouse(target, QEvent::MouseButtonRelease, at);
}

}  // namespace tarnwick::test
