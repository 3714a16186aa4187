// The port doctor's checks on Windows: the port's device in the system's
// device list, its state, name and place (ReadComPortNode). Every user may
// open a serial port there, and the system keeps no cheap list of who holds
// one: a held port shows when it does not open.
#include "report/port_doctor.h"

namespace bramis {

std::vector<DoctorEntry> SystemEntries(const DoctorPort& port) { return ComPortNodeEntries(ReadComPortNode(port.number)); }

std::string BusyRemedy() { return "закройте программу, которая его открыла (какую, Windows не сообщает)"; }

}  // namespace bramis
