// SPDX-License-Identifier: MIT
// Reads an ID3v1 record and Lyrics3 block from arbitrary bytes, writes them back and
// checks that lyrics, author and image links survive the round trip.
#include <cstdlib>

#include "FuzzTempFile.h"
#include "id3v1/ID3v1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static covrilo::fuzz::TFuzzTempFile file;
    const auto& path = file.Write(data, size);

    covrilo::TID3v1 tag;
    if (!tag.ReadFromFile(path)) std::abort();  // a readable file never fails
    (void)tag.GetGenreName();
    if (!tag.SaveToFile(path)) std::abort();

    covrilo::TID3v1 back;
    if (!back.ReadFromFile(path) || !back.Exists) std::abort();
    if (back.Lyrics != tag.Lyrics || back.Author != tag.Author || back.ImageLinks != tag.ImageLinks) std::abort();
    return 0;
}
