#include "image_files.h"

#include <utility>

namespace bramis {

ImageFiles::ImageFiles(ProfileStore& store, DocumentsFolderLookup documentsFolder)
    : store_(store), documentsFolder_(std::move(documentsFolder)) {}

void ImageFiles::ReadRecentFiles() { recentFiles_.Read(store_); }

void ImageFiles::WriteRecentFiles() const { recentFiles_.Write(store_); }

FileOutcome ImageFiles::LoadImageFile(std::string_view path) {
    return Remembered(path, ReadImageFile(path, image_.Bytes()));
}

FileOutcome ImageFiles::SaveImageFile(std::string_view path) {
    return Remembered(path, SaveFileAtomically(path, image_.Bytes()));
}

FileOutcome ImageFiles::Remembered(std::string_view path, FileOutcome outcome) {
    if (outcome.done()) {
        RememberDirectory(store_, path);
        recentFiles_.Add(path);
    }
    return outcome;
}

std::string ImageFiles::GetInitialDirectory() const {
    return bramis::GetInitialDirectory(store_, documentsFolder_);
}

}  // namespace bramis
