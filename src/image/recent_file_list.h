// The last 20 image files used, most recent first, kept in the settings as
// "ProgramFileList" / "File1" to "File20". Fills the file-name box of the
// main window; slot 0 is what the automatic load at start-up opens.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "profile_store.h"

namespace bramis {

// Owned by the main window; one thread (the user-interface thread).
class RecentFileList {
public:
    static constexpr std::size_t kSlotCount = 20;
    using Slots = std::array<std::string, kSlotCount>;

    // Replaces the slots with the stored ones, slot k from "File<k+1>"; an
    // absent value leaves its slot empty, and the slots keep their places.
    void Read(const ProfileStore& store);

    // Puts the absolute form of `path` into slot 0. The entries before the
    // first empty slot move one slot down, keeping their order; a file that was
    // listed already (under any name for it) leaves its old slot instead. With
    // no empty slot, the entry in the last slot drops out. "" is ignored.
    void Add(std::string_view path);

    // Stores every non-empty slot and removes the values of the empty ones,
    // so that Read gives the same slots back.
    void Write(ProfileStore& store) const;

    // The slots in order, "" marking an empty one.
    const Slots& Entries() const { return slots_; }

private:
    Slots slots_;
};

// The value name of `slot` (0-based): "File1" to "File20". Any thread.
std::string RecentFileValueName(std::size_t slot);

}  // namespace bramis
