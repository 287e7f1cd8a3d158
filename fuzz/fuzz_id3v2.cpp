// SPDX-License-Identifier: MIT
// Loads arbitrary bytes as a tagged file, saves it (loaded version, then 2.4 and 2.2) and
// loads the result again. Only the engine's own errors and a refused open are expected.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "id3v2/ID3v2Class.h"
#include "io/EnhancedStreams.h"

namespace {

// With WithRecord false the ID3v1 entry ("TAG") is left out.
std::vector<std::string> Ids(const covrilo::TID3v2Class& Tag, bool WithRecord = true) {
    std::vector<std::string> ids;
    for (int i = 0; i < Tag.FrameCount(); ++i)
        if (WithRecord || Tag.Frames(i)->FrameID() != "TAG") ids.push_back(Tag.Frames(i)->FrameID());
    return ids;
}

void Attempt(const std::filesystem::path& File, uint16_t Version) {
    try {
        covrilo::TID3v2Class tag(File);
        const bool saved = tag.SaveToFile(Version);
        covrilo::TID3v2Class again(File);
        // A written tag reads back as the same frames. (2.2 identifiers may map back to
        // another 2.3 form; a removed tag may uncover bytes that look like another tag.)
        // In a file with less than 128 bytes after its tag, the last 128 bytes lie partly in
        // the tag, and tag text may happen to read as an ID3v1 record there.
        const bool recordInTag = static_cast<int64_t>(std::filesystem::file_size(File)) - 128 <
                                 static_cast<int64_t>(again.TagSize) + 10;
        if (saved && tag.TagExists && Version != 0x0200 && Ids(again, !recordInTag) != Ids(tag, !recordInTag))
            std::abort();
    } catch (const covrilo::EID3LibException&) {
    } catch (const covrilo::EAssertionFailed&) {
        // The documented refusal to save unsynchronised, compressed or footer tags.
    } catch (const covrilo::EFOpenError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::filesystem::path file = covrilo::fuzz::WriteInput("input.mp3", Data, Size);
    Attempt(file, 0);
    Attempt(file, 0x0400);
    Attempt(file, 0x0200);
    return 0;
}
