// SPDX-License-Identifier: MIT
// Picture-type names (index = picture-type byte 0..20) and the image MIME table.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace covrilo {

inline constexpr int PICTURE_TYPE_COUNT = 21;

// The 21 descriptive names, "Other" .. "Publisher/Studio logotype".
std::span<const char* const> PictureTypeNames();
// The name of a picture-type byte; "" above 20.
std::string PictureTypeName(uint8_t PictureType);

struct TImageMimeType {
    const char* MimeType;
    const char* Extension;
    const char* DisplayName;
};

// Entries: 0 JPEG, 1 BMP ("image/ms-bmp"), 2 GIF, 3 TIFF, 4 X-BMP, 5 PNG.
std::span<const TImageMimeType> ImageMimeTypes();
inline constexpr int MIME_JPEG = 0, MIME_BMP = 1, MIME_GIF = 2, MIME_TIFF = 3, MIME_XBMP = 4, MIME_PNG = 5;

}  // namespace covrilo
