// The device's line settings in a Win32 device-control block; a function of
// its own so that the values themselves can be checked.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace bramis {

// 9600 baud, 8 data bits, even parity, one stop bit, no flow control, DTR and
// RTS off. In the flag word this keeps bits 15-31 and sets bits 0, 1 and 7
// alone: flags = (flags AND 0xFFFF8083) OR 0x83.
void SetLine(DCB& dcb);

}  // namespace bramis
