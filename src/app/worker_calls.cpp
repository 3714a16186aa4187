#include "worker_calls.h"

#include <QCoreApplication>

#include <chrono>

namespace bramis {

void RunOnWindowThread(QObject* window, const bool& closing, const std::function<void()>& update) {
    QMetaObject::invokeMethod(
        window,
        [&closing, &update] {
            if (!closing) update();
        },
        Qt::BlockingQueuedConnection);
}

void WaitServingCalls(QObject* window, TransferJob& job) {
    while (!job.Wait(std::chrono::milliseconds(10))) QCoreApplication::sendPostedEvents(window);
}

}  // namespace bramis
