// SPDX-License-Identifier: MIT
// The Ogg Vorbis comment header over arbitrary bytes, loaded from a file as users' files
// are. Every input is also saved with a new title; a save that succeeds must leave every
// byte outside the second page as it was and read back with the new title.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "FuzzInput.h"
#include "formats/qmx_tag_oggvorbis.h"

using covrilo::fuzz::Check;
using covrilo::fuzz::ReadAll;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::filesystem::path file = covrilo::fuzz::WriteInput("input.ogg", Data, Size);
    covrilo::TOggVorbis o;
    const bool read = o.ReadFromFile(file);
    if (read) {
        o.IsValid();
        o.BitRate();
    }
    const std::u16string title = Size % 2 ? u"t" : std::u16string(300, u'T');
    covrilo::TOggVorbis w;
    w.Fields = {covrilo::TOggField("TITLE", title)};
    if (w.SaveTag(file)) {
        Check(read);
        covrilo::TOggVorbis g;
        Check(g.ReadFromFile(file));
        std::u16string got;
        for (const covrilo::TOggField& f : g.Fields)
            if (f.Name == "TITLE") got = f.Value;
        Check(got == title);
        // Bytes in front of the second page are unchanged.
        const std::vector<uint8_t> after = ReadAll(file);
        const size_t start = static_cast<size_t>(g.ID3v2Size);
        size_t page2 = start + 27 + Data[start + 26];
        for (size_t i = 0; i < Data[start + 26]; ++i) page2 += Data[start + 27 + i];
        Check(after.size() >= page2 && std::equal(Data, Data + page2, after.begin()));
    }
    std::error_code ec;
    std::filesystem::remove(file.string() + "~", ec);
    return 0;
}
