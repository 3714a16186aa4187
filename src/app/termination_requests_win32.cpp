// The end of the Windows session: the system asks every top-level window
// whether the session may end (WM_QUERYENDSESSION), then says that it ends
// (WM_ENDSESSION) and may end the process as soon as that message has been
// answered. A native event filter sees both before Qt does.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QMetaObject>

#include "termination_requests.h"

namespace bramis {

struct TerminationRequests::Watch : QAbstractNativeEventFilter {
    std::function<void()> onRequest;
    std::function<void()> finishNow;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override {
        if (eventType != "windows_generic_MSG") {
            return false;
        }
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_QUERYENDSESSION) {
            // Every top-level window is asked; the answer (yes, from Qt) goes
            // back at once and the orderly end starts from the event loop.
            QMetaObject::invokeMethod(QCoreApplication::instance(), onRequest, Qt::QueuedConnection);
            return false;
        }
        if (msg->message == WM_ENDSESSION && msg->wParam != FALSE) {
            // The process may be ended once this returns: the job ends first.
            finishNow();
            *result = 0;
            return true;
        }
        return false;
    }
};

TerminationRequests::TerminationRequests(std::function<void()> onRequest, std::function<void()> finishNow)
    : watch_(std::make_unique<Watch>()) {
    watch_->onRequest = std::move(onRequest);
    watch_->finishNow = std::move(finishNow);
    QCoreApplication::instance()->installNativeEventFilter(watch_.get());
}

TerminationRequests::~TerminationRequests() {
    QCoreApplication::instance()->removeNativeEventFilter(watch_.get());
}

}  // namespace bramis
