#include <QFileSystemWatcher>
#include <QStringList>

#include "port_watch.h"

namespace bramis {

void WatchPortChanges(QObject* owner, std::function<void()> changed) {
    auto* watcher = new QFileSystemWatcher(owner);
    // Device nodes come and go in /dev; the stable names in /dev/serial/by-id,
    // and that folder itself with the first adapter. Folders absent now are skipped.
    watcher->addPaths({QStringLiteral("/dev"), QStringLiteral("/dev/serial"), QStringLiteral("/dev/serial/by-id")});
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, owner, [watcher, changed = std::move(changed)] {
        // A folder that was removed and made again is no longer watched.
        watcher->addPaths({QStringLiteral("/dev/serial"), QStringLiteral("/dev/serial/by-id")});
        changed();
    });
}

}  // namespace bramis
