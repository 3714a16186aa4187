// The Russian words that both front ends, the window and bramis-flash, give
// to the kinds and values the layers below hand up: the same fact is said the
// same way in both. Each front end builds its own lines and captions on them.
#pragma once

#include <string>

#include "image/image_file.h"

namespace bramis::words {

// The message for an image file's `status` ("" for Ok). Any thread.
std::string ImageFileMessage(ImageFileStatus status);

}  // namespace bramis::words

namespace bramis::words {

// Why a file could not be used, as the system said it ("нет места на диске");
// `systemError` is shown only when the cause is none of the known ones.
// Any thread.
std::string FileCauseText(FileCause cause, int systemError);

// The line under ImageFileMessage that says why: the folder or the file and
// the system's reason, or the file's size and the size wanted; "" when
// there is nothing to add. Any thread.
std::string ImageFileCauseLine(const FileOutcome& outcome);

// What became of a program read from the device that could not be saved
// where the user wanted: where SaveCopyElsewhere put it, or that it is not
// saved yet, why and what to do. Any thread.
std::string UnsavedReadLine(const FileOutcome& outcome);

}  // namespace bramis::words
