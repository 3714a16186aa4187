#include <QFileSystemWatcher>
#include <QStringList>

#include "port_watch.h"

namespace bramis {

void WatchPortChanges(QObject* owner, std::function<void()> changed) {
    auto* watcher = new QFileSystemWatcher(owner);
    // Device nodes come and go in /dev; the stable names in /dev/serial/by-id
    // and the sockets' names in /dev/serial/by-path, and those folders themselves
    // with the first adapter. Folders absent now are skipped.
    const QStringList names{QStringLiteral("/dev/serial"), QStringLiteral("/dev/serial/by-id"),
                            QStringLiteral("/dev/serial/by-path")};
    watcher->addPaths(QStringList{QStringLiteral("/dev")} + names);
    const auto refresh = [watcher, names, changed = std::move(changed)] {
        // A folder that was removed and made again is no longer watched.
        watcher->addPaths(names);
        changed();
    };
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, owner, refresh);
}

}  // namespace bramis
