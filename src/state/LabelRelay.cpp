#include "state/LabelRelay.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>

#include <memory>
#include <optional>

namespace tarnwick::LabelRelay {

namespace {

// The newest label on its way, and whether a delivery is queued.
struct Mailbox {
    QMutex mutex;
    std::optional<QString> pending;
    bool scheduled = false;
};

}  // namespace

Handler make(QObject* receiver, Handler deliver) {
    auto mailbox = std::make_shared<Mailbox>();
    return [receiver, mailbox, deliver = std::move(deliver)](const QString& label) {
        QMutexLocker lock(&mailbox->mutex);
        mailbox->pending = label;
        if (mailbox->scheduled) return;
        mailbox->scheduled = true;
        // The receiver as context: the call is dropped once it is gone.
        QMetaObject::invokeMethod(
            receiver,
            [mailbox, deliver] {
                std::optional<QString> text;
                {
                    QMutexLocker lock(&mailbox->mutex);
                    text.swap(mailbox->pending);
                    mailbox->scheduled = false;
                }
                if (text && deliver) deliver(*text);
            },
            Qt::QueuedConnection);
    };
}

}  // namespace tarnwick::LabelRelay
