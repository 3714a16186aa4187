// The programmer's icon (IDI_MAIN): a 32 and a 16 pixel picture.
#pragma once

#include <QIcon>

namespace bramis {

// The icon, from the program's built-in resources. GUI thread.
QIcon AppIcon();

}  // namespace bramis
