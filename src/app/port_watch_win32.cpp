#include <QTimer>

#include "port_watch.h"

namespace bramis {

void WatchPortChanges(QObject* owner, std::function<void()> changed) {
    constexpr int kLookEveryMs = 1500;
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, owner, std::move(changed));
    timer->start(kLookEveryMs);
}

}  // namespace bramis
