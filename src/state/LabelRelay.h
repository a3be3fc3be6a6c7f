#pragma once

#include <QString>

#include <functional>

class QObject;

namespace tarnwick {

// Hands the labels a finder reports on its worker thread to the receiver's
// thread. A label not delivered yet is replaced by the next one and at most
// one delivery is queued at a time, so the finder never waits and a busy UI
// thread sees fewer labels, the newest always last. Deliveries are dropped
// once the receiver is gone.
namespace LabelRelay {

using Handler = std::function<void(const QString& label)>;

// A progress handler for the worker thread that calls deliver on the
// receiver's thread.
Handler make(QObject* receiver, Handler deliver);

}  // namespace LabelRelay

}  // namespace tarnwick
