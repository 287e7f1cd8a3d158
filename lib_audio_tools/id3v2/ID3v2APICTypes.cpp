// SPDX-License-Identifier: MIT
#include "id3v2/ID3v2APICTypes.h"

#include <array>

namespace covrilo {

namespace {

constexpr std::array<const char*, PICTURE_TYPE_COUNT> kPictureTypeNames = {
    "Other",
    "32x32 pixels 'file icon' (PNG only)",
    "Other file icon",
    "Cover (front)",
    "Cover (back)",
    "Leaflet page",
    "Media (e.g. label side of CD)",
    "Lead artist/lead performer/soloist",
    "Artist/performer",
    "Conductor",
    "Band/Orchestra",
    "Composer",
    "Lyricist/text writer",
    "Recording Location",
    "During recording",
    "During performance",
    "Movie/video screen capture",
    "A bright coloured fish",
    "Illustration",
    "Band/artist logotype",
    "Publisher/Studio logotype",
};

constexpr std::array<TImageMimeType, 6> kImageMimeTypes = {{
    {"image/jpeg", ".jpg", "JPEG Image"},
    {"image/ms-bmp", ".bmp", "MS Bitmap Image"},
    {"image/gif", ".gif", "GIF Image"},
    {"image/tiff", ".tif", "TIFF Image"},
    {"image/x-bmp", ".xbm", "X-BMP Image"},
    {"image/png", ".png", "PiNG Image"},
}};

}  // namespace

std::span<const char* const> PictureTypeNames() { return kPictureTypeNames; }

std::string PictureTypeName(uint8_t PictureType) {
    if (PictureType >= kPictureTypeNames.size()) return {};
    return kPictureTypeNames[PictureType];
}

std::span<const TImageMimeType> ImageMimeTypes() { return kImageMimeTypes; }

}  // namespace covrilo
