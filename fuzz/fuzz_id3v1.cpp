// SPDX-License-Identifier: MIT
// Reads an ID3v1 record and Lyrics3 block from arbitrary bytes, writes them back and
// checks that lyrics, author and image links survive the round trip.
#include <cstdlib>
#include <string>

#include "FuzzTempFile.h"
#include "id3v1/ID3v1.h"

namespace {
std::string BlankBytes() {
    std::string blanks;
    for (int c = 0; c <= 0x20; ++c) blanks += static_cast<char>(c);
    return blanks;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static covrilo::fuzz::TFuzzTempFile file;
    const auto& path = file.Write(Data, Size);

    covrilo::TID3v1 tag;
    if (!tag.ReadFromFile(path)) std::abort();  // a readable file never fails
    (void)tag.GetGenreName();
    if (!tag.SaveToFile(path)) std::abort();

    covrilo::TID3v1 back;
    if (!back.ReadFromFile(path) || !back.Exists) std::abort();
    // Image links are kept byte for byte, except blank ones, which carry nothing.
    const bool blankImages = tag.ImageLinks.find_first_not_of(BlankBytes()) == std::string::npos;
    const std::string images = blankImages ? std::string() : tag.ImageLinks;
    if (back.Lyrics != tag.Lyrics || back.Author != tag.Author || back.ImageLinks != images) std::abort();
    return 0;
}
