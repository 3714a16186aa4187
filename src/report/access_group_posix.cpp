#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "report/job_report.h"

namespace bramis {

std::string AccessGroupToJoin(const std::string& device) {
    struct stat info {};
    if (device.empty() || stat(device.c_str(), &info) != 0 || access(device.c_str(), R_OK | W_OK) == 0) return {};
    // Only a group that may read and write helps; joining root's is no advice to give.
    if (info.st_gid == 0 || (info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
    // The reentrant lookup: several devices' jobs may fail at once.
    group entry{};
    group* owner = nullptr;
    std::vector<char> buffer(16384);
    if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &owner) != 0 || owner == nullptr) {
        return std::to_string(info.st_gid);
    }
    return owner->gr_name;
}

}  // namespace bramis
