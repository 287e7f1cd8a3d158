// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "id3v2/ID3v2APICTypes.h"

namespace covrilo {
namespace {

TEST(ID3v2APICTypes, PictureTypeNames) {
    ASSERT_EQ(PictureTypeNames().size(), 21u);
    struct Case {
        int Type;
        const char* Name;
    };
    const Case cases[] = {
        {0, "Other"},
        {1, "32x32 pixels 'file icon' (PNG only)"},
        {3, "Cover (front)"},
        {6, "Media (e.g. label side of CD)"},
        {13, "Recording Location"},
        {17, "A bright coloured fish"},
        {20, "Publisher/Studio logotype"},
        {21, ""},
        {255, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Type);
        EXPECT_EQ(PictureTypeName(static_cast<uint8_t>(c.Type)), c.Name);
    }
    for (int i = 0; i < PICTURE_TYPE_COUNT; ++i) EXPECT_EQ(PictureTypeName(i), PictureTypeNames()[i]);
}

TEST(ID3v2APICTypes, MimeTable) {
    const auto mimes = ImageMimeTypes();
    ASSERT_EQ(mimes.size(), 6u);
    struct Case {
        int Index;
        const char* Mime;
        const char* Ext;
        const char* Display;
    };
    const Case cases[] = {
        {MIME_JPEG, "image/jpeg", ".jpg", "JPEG Image"},
        {MIME_BMP, "image/ms-bmp", ".bmp", "MS Bitmap Image"},
        {MIME_GIF, "image/gif", ".gif", "GIF Image"},
        {MIME_TIFF, "image/tiff", ".tif", "TIFF Image"},
        {MIME_XBMP, "image/x-bmp", ".xbm", "X-BMP Image"},
        {MIME_PNG, "image/png", ".png", "PiNG Image"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Index);
        EXPECT_STREQ(mimes[c.Index].MimeType, c.Mime);
        EXPECT_STREQ(mimes[c.Index].Extension, c.Ext);
        EXPECT_STREQ(mimes[c.Index].DisplayName, c.Display);
    }
}

}  // namespace
}  // namespace covrilo
