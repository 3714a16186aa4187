// The per-user settings: integer and string values by section and name. The
// application keeps them in the system's settings store (the registry on
// Windows, an INI file elsewhere); tests use MemoryProfileStore.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bramis {

// Sections and value names of the stored settings.
inline constexpr std::string_view kSectionSettings = "Settings";
inline constexpr std::string_view kValuePortNumber = "PortNumber";            // integer, kDefaultPortNumber when absent
inline constexpr std::string_view kValueProgramAutoload = "ProgramAutoload";  // integer 0 or 1
inline constexpr std::string_view kValueEndSound = "EndSound";  // integer, 1 (a sound at the end of a job) when absent
inline constexpr std::string_view kValueVerifyAfterWrite = "VerifyAfterWrite";  // integer 0 or 1, 0 when absent
inline constexpr std::string_view kSectionInit = "Init";
inline constexpr std::string_view kValueProgramFilesDir = "ProgramFilesDir";  // folder last used
inline constexpr std::string_view kSectionProgramFileList = "ProgramFileList";  // File1..File20
inline constexpr std::string_view kSectionPorts = "Ports";  // COM<n> = device path
inline constexpr std::string_view kSectionJournal = "Journal";     // the journal window's size
inline constexpr std::string_view kValueWindowWidth = "Width";     // integer, device-independent pixels
inline constexpr std::string_view kValueWindowHeight = "Height";

// The port number the programmer window and bramis-flash use while none is stored.
inline constexpr int kDefaultPortNumber = 99;

// Reads and writes the stored settings. Implementations are used from one
// thread (the user-interface thread in the application).
class ProfileStore {
public:
    virtual ~ProfileStore() = default;

    // The integer `section`/`name`, or `defaultValue` when it is absent or
    // holds something other than a whole number in the int range.
    virtual int GetInt(std::string_view section, std::string_view name, int defaultValue) const = 0;

    // The string `section`/`name` (UTF-8), or `defaultValue` when absent.
    // A stored integer reads as its decimal text.
    virtual std::string GetString(std::string_view section, std::string_view name,
                                  std::string_view defaultValue) const = 0;

    // Stores an integer (a 32-bit value in the registry).
    virtual void WriteInt(std::string_view section, std::string_view name, int value) = 0;

    // Stores a string (a string value in the registry).
    virtual void WriteString(std::string_view section, std::string_view name, std::string_view value) = 0;

    // Removes the value; nothing happens when it is absent.
    virtual void Remove(std::string_view section, std::string_view name) = 0;

    // The names of the values stored in `section`, in no particular order.
    virtual std::vector<std::string> ValueNames(std::string_view section) const = 0;
};

// The integer written as `text`: optional blanks, an optional sign and decimal
// digits, within the int range; nothing otherwise. Any thread.
std::optional<int> ParseProfileInt(std::string_view text);

// The per-user port overrides of the "Ports" section: COM number (1 to 255)
// to device path, from values named "COM<n>" (any case, n in plain digits)
// with a non-empty path. Other names are ignored. The caller's thread of the store.
std::map<int, std::string> ReadPortOverrides(const ProfileStore& store);

// Makes `device` the override of COM `portNumber` ("COM<n>"), or removes the
// override when `device` is empty; values that name the same number in
// another case ("com5") are removed either way. The caller's thread of the store.
void WritePortOverride(ProfileStore& store, int portNumber, std::string_view device);

}  // namespace bramis
