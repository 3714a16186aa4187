#include "app_icon.h"

namespace bramis {

QIcon AppIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/bramis/icon-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/bramis/icon-16.png"), QSize(16, 16));
    return icon;
}

}  // namespace bramis
