#include "recent_file_list.h"

#include <algorithm>

#include "utf8_path.h"

namespace bramis {

std::string RecentFileValueName(std::size_t slot) { return "File" + std::to_string(slot + 1); }

void RecentFileList::Read(const ProfileStore& store) {
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
        slots_[slot] = store.GetString(kSectionProgramFileList, RecentFileValueName(slot), "");
    }
}

void RecentFileList::Add(std::string_view path) {
    if (path.empty()) {
        return;
    }
    std::string entry = AbsoluteUtf8Path(path);
    // Every earlier mention of the file goes (a hand-edited store may hold two).
    for (std::string& slot : slots_) {
        if (!slot.empty() && SameFile(slot, entry)) {
            slot.clear();
        }
    }
    // The first empty slot takes up the shift; without one the last entry goes.
    const auto gap = std::find_if(slots_.begin(), slots_.end() - 1,
                                  [](const std::string& slot) { return slot.empty(); });
    std::move_backward(slots_.begin(), gap, gap + 1);
    slots_.front() = std::move(entry);
}

void RecentFileList::Write(ProfileStore& store) const {
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
        const std::string name = RecentFileValueName(slot);
        if (slots_[slot].empty()) {
            store.Remove(kSectionProgramFileList, name);
        } else {
            store.WriteString(kSectionProgramFileList, name, slots_[slot]);
        }
    }
}

}  // namespace bramis
