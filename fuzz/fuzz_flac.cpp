// SPDX-License-Identifier: MIT
// FLAC metadata over arbitrary bytes, loaded from a file as users' files are. A file that
// reads as valid is saved with a changed title, by the reading object or by a fresh one;
// the save must keep the audio bytes and the bytes in front of the stream, and the result
// must read back with the new title.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "FuzzInput.h"
#include "formats/FLACfile.h"

using covrilo::fuzz::Check;
using covrilo::fuzz::ReadAll;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::filesystem::path file = covrilo::fuzz::WriteInput("input.flac", Data, Size);
    covrilo::TFLACfile f;
    if (f.ReadFromFile(file)) {
        const std::vector<uint8_t> before(Data, Data + Size);
        const int64_t audioOffset = f.AudioOffset;
        const int64_t streamOffset = f.StreamOffset;
        // Size picks between a value that fits in place and one that does not.
        const std::string title = Size % 2 ? "t" : std::string(300, 'T');
        // Some inputs are saved by a fresh object, which keeps the file's other entries.
        covrilo::TFLACfile fresh;
        covrilo::TFLACfile& writer = Size % 5 == 0 ? fresh : f;
        writer.Values[covrilo::fkTitle] = title;
        if (writer.SaveToFile(file, Size % 3 == 0)) {
            covrilo::TFLACfile g;
            Check(g.ReadFromFile(file));
            Check(g.Values[covrilo::fkTitle] == title);
            const std::vector<uint8_t> after = ReadAll(file);
            Check(std::equal(before.begin(), before.begin() + streamOffset, after.begin()));
            Check(after.size() - static_cast<size_t>(g.AudioOffset) ==
                  before.size() - static_cast<size_t>(audioOffset));
            Check(std::equal(before.begin() + audioOffset, before.end(), after.begin() + g.AudioOffset));
        }
    }
    std::error_code ec;
    std::filesystem::remove(file.string() + "~", ec);
    return 0;
}
