// The port doctor's checks on Windows: the port's device in the system's
// device list, its state, name and place (ReadComPortNode). Every user may
// open a serial port there, and the system keeps no cheap list of who holds
// one: a held port shows when it does not open.
#include "link/port_discovery_list.h"
#include "report/port_doctor.h"

namespace bramis {
namespace {

// The COM number of a port named by its device path ("\\.\COM5", "COM5"); 0 for other paths.
int NumberInPath(const std::string& device) {
    const std::size_t separator = device.find_last_of("\\/");
    std::string name = device.substr(separator == std::string::npos ? 0 : separator + 1);
    name.append(2, '\0');  // a device list of one name
    const std::vector<int> numbers = ParseComDeviceList(name.data(), name.size());
    return numbers.empty() ? 0 : numbers.front();
}

}  // namespace

std::vector<DoctorEntry> SystemEntries(const DoctorPort& port) {
    return ComPortNodeEntries(ReadComPortNode(port.number != 0 ? port.number : NumberInPath(port.device)));
}

std::string BusyRemedy() { return "закройте программу, которая его открыла (какую, Windows не сообщает)"; }

}  // namespace bramis
