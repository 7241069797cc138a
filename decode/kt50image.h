// SPDX-License-Identifier: Apache-2.0
// Pictures of decoded pages: what the printer would put on the media, one
// file per page, black where there is ink.
#pragma once

#include <string>

#include "kt50stream.h"

namespace kt50 {

enum class ImageFormat { Png, Pbm };

// Writes the page's placed bitmap, cropped to the announced width and height,
// as a 1-bit grayscale PNG or a binary PBM (P4). The page must carry its
// bitmap. False with a message when the file cannot be written.
bool WritePageImage(const Page &page, ImageFormat format, const std::string &path,
                    std::string &error);

}  // namespace kt50
