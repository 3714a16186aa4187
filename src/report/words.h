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
