#include "PageWorker.h"

QueuedNotifier::QueuedNotifier(QObject& receiver, OnResult onResult, OnActivity onActivity, OnPort onPort)
    : m_receiver(&receiver),
      m_onResult(std::move(onResult)),
      m_onActivity(std::move(onActivity)),
      m_onPort(std::move(onPort)) {}

void QueuedNotifier::Notify(unsigned message, std::intptr_t param1, std::intptr_t /*param2*/) {
    // The queued call holds its own copy of the handler: it never reaches
    // back into a notifier that may be gone by the time it runs.
    QPointer<QObject> receiver = m_receiver;
    if (message == kResultMessage) {
        QMetaObject::invokeMethod(
            receiver.data(),
            [receiver, handler = m_onResult, ok = param1 != 0] {
                if (receiver) handler(ok);
            },
            Qt::QueuedConnection);
    } else if (message == kActivityMessage && m_onActivity) {
        QMetaObject::invokeMethod(
            receiver.data(),
            [receiver, handler = m_onActivity, param1] {
                if (receiver) handler(param1);
            },
            Qt::QueuedConnection);
    } else if (message == kPortMessage && m_onPort) {
        QMetaObject::invokeMethod(
            receiver.data(),
            [receiver, handler = m_onPort, back = param1 != 0] {
                if (receiver) handler(back);
            },
            Qt::QueuedConnection);
    }
}
