#include "folder_memory.h"

#include <algorithm>

#include "utf8_path.h"

namespace bramis {

std::string FolderOfPath(std::string_view path, PathStyle style) {
    const bool windows = style == PathStyle::Windows;
    const char separator = windows ? '\\' : '/';
    const std::size_t cut = path.find_last_of(windows ? "\\/" : "/");
    if (cut == std::string_view::npos) {
        return std::string(path);
    }
    std::string folder(path.substr(0, cut));
    if (folder.empty()) {
        // "/x.dat": the root folder, which an empty setting could not express.
        folder = separator;
    }
    std::replace(folder.begin(), folder.end(), '/', separator);
    return folder;
}

std::string GetInitialDirectory(const ProfileStore& store, const DocumentsFolderLookup& documentsFolder) {
    std::string stored = store.GetString(kSectionInit, kValueProgramFilesDir, "");
    if (stored.empty()) {
        return documentsFolder ? documentsFolder() : std::string();
    }
    if (Utf8CharacterCount(stored) >= kFolderLengthLimit) {
        return std::string();
    }
    return stored;
}

void RememberDirectory(ProfileStore& store, std::string_view path) {
    store.WriteString(kSectionInit, kValueProgramFilesDir, FolderOfPath(path));
}

}  // namespace bramis
