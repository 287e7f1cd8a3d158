// SPDX-License-Identifier: MIT
// Reads an APE tag from arbitrary bytes, writes the items back and checks the round trip.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "FuzzTempFile.h"
#include "formats/APETag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static covrilo::fuzz::TFuzzTempFile file;
    const auto& path = file.Write(Data, Size);

    covrilo::TAPETag tag;
    if (!tag.ReadFromFile(path)) return 0;
    (void)tag.GetValue("TITLE");
    bool saved = false;
    try {
        saved = tag.SaveTag(path);
    } catch (...) {
        std::abort();  // the file is there and unlocked: opening and writing must work
    }
    if (!saved) return 0;

    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // An item that happens to hold "TAG" 128 bytes before the end looks like an ID3v1
    // record to every reader; such files are not a round-trip failure of ours.
    const bool hadRecord = Size >= 129 && std::memcmp(Data + Size - 128, "TAG", 3) == 0;
    if (!hadRecord && bytes.size() >= 128 && std::memcmp(bytes.data() + bytes.size() - 128, "TAG", 3) == 0)
        return 0;

    covrilo::TAPETag back;
    if (!back.ReadFromFile(path) || !back.Exists || back.Fields != tag.Fields) std::abort();
    return 0;
}
