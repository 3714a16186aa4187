#include "port_details.h"

namespace bramis {

std::string DescribeAdapter(const PortDetails& details) {
    std::string text = details.product.empty() ? details.manufacturer : details.product;
    if (!details.serial.empty()) {
        text += text.empty() ? details.serial : " (" + details.serial + ")";
    }
    return text;
}

}  // namespace bramis
