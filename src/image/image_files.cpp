#include "image_files.h"

#include <utility>

namespace bramis {

ImageFiles::ImageFiles(ProfileStore& store, DocumentsFolderLookup documentsFolder)
    : store_(store), documentsFolder_(std::move(documentsFolder)) {}

void ImageFiles::ReadRecentFiles() { recentFiles_.Read(store_); }

void ImageFiles::WriteRecentFiles() const { recentFiles_.Write(store_); }

FileOutcome ImageFiles::LoadImageFile(std::string_view path) {
    const ImageFileStatus status = ReadImageFile(path, image_.Bytes());
    if (status != ImageFileStatus::Ok) {
        return {status};
    }
    return Remembered(path);
}

FileOutcome ImageFiles::SaveImageFile(std::string_view path) {
    const ImageFileStatus status = SaveFileAtomically(path, image_.Bytes());
    if (status != ImageFileStatus::Ok) {
        return {status};
    }
    return Remembered(path);
}

FileOutcome ImageFiles::Remembered(std::string_view path) {
    RememberDirectory(store_, path);
    recentFiles_.Add(path);
    return {ImageFileStatus::Ok};
}

std::string ImageFiles::GetInitialDirectory() const {
    return bramis::GetInitialDirectory(store_, documentsFolder_);
}

}  // namespace bramis
