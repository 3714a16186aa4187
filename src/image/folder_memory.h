// The folder last used for image files ("Init" / "ProgramFilesDir"): where
// the Open and Save dialogs start.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "profile_store.h"

namespace bramis {

// Which characters separate folders in a path, and which one is stored.
enum class PathStyle {
    Posix,    // '/' only
    Windows,  // '\' and '/', stored as '\'
};
inline constexpr PathStyle kNativePathStyle =
    std::filesystem::path::preferred_separator == '\\' ? PathStyle::Windows : PathStyle::Posix;

// A stored folder of this many characters or more is not used.
inline constexpr std::size_t kFolderLengthLimit = 260;

// Yields the user's documents folder (UTF-8), or "" when there is none. The
// application passes the system's; tests pass their own.
using DocumentsFolderLookup = std::function<std::string()>;

// The folder part of `path`: everything before its last separator, in the
// style's own separators ("C:/x.dat" gives "C:" on Windows). A path without a
// separator is returned whole; a file in the root folder gives the root
// separator itself, never an empty folder. Any thread.
std::string FolderOfPath(std::string_view path, PathStyle style = kNativePathStyle);

// The folder the file dialogs open in: the stored folder; the documents
// folder when none is stored; "" (the platform's default) when the stored one
// is kFolderLengthLimit characters or longer. The store's thread.
std::string GetInitialDirectory(const ProfileStore& store, const DocumentsFolderLookup& documentsFolder);

// Stores the folder of `path` as the folder last used. The store's thread.
void RememberDirectory(ProfileStore& store, std::string_view path);

}  // namespace bramis
