// The image in memory together with everything that moves it to and from
// disk on the user's behalf: loading with the size check, saving, the folder
// last used and the recent-file list. The main window owns one.
#pragma once

#include <string>
#include <string_view>

#include "firmware_image.h"
#include "folder_memory.h"
#include "image_file.h"
#include "profile_store.h"
#include "recent_file_list.h"

namespace bramis {

// User-interface thread only; the image belongs to the transfer worker while
// a job runs, and none of these is called then.
class ImageFiles {
public:
    // `store` must outlive this object.
    ImageFiles(ProfileStore& store, DocumentsFolderLookup documentsFolder);

    FirmwareImage& Image() { return image_; }
    const FirmwareImage& Image() const { return image_; }
    const RecentFileList& RecentFiles() const { return recentFiles_; }

    // Reads the recent-file list from the store (at start-up).
    void ReadRecentFiles();

    // Writes the recent-file list to the store (when the main window goes).
    void WriteRecentFiles() const;

    // Loads the image file `path` (UTF-8). On success the image holds the
    // file's bytes, its folder is stored as the folder last used and it is in
    // slot 0 of the recent files. On failure nothing of that changes.
    FileOutcome LoadImageFile(std::string_view path);

    // Saves the image as the file `path` (UTF-8), replacing it as a whole.
    // On success its folder is stored and it is in slot 0 of the recent files.
    // On failure the list and stored folder are unchanged and the target is
    // as it was.
    FileOutcome SaveImageFile(std::string_view path);

    // The folder the file dialogs open in ("" for the platform's default).
    std::string GetInitialDirectory() const;

private:
    // After a load or save of `path` that came to `outcome`: when done, its
    // folder is the one last used and it leads the recent files.
    FileOutcome Remembered(std::string_view path, FileOutcome outcome);

    ProfileStore& store_;
    const DocumentsFolderLookup documentsFolder_;
    FirmwareImage image_;
    RecentFileList recentFiles_;
};

}  // namespace bramis
