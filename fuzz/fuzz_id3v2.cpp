// SPDX-License-Identifier: MIT
// Loads arbitrary bytes as a tagged file, saves it (loaded version, then 2.4 and 2.2) and
// loads the result again. Only the engine's own errors and a refused open are expected.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "id3v2/ID3v2Class.h"
#include "io/EnhancedStreams.h"

namespace {

std::filesystem::path MakeWorkDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fuzz_id3v2.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
}

void Attempt(const std::filesystem::path& File, uint16_t Version) {
    try {
        covrilo::TID3v2Class tag(File);
        for (int i = 0; i < tag.FrameCount(); ++i) (void)tag.Frames(i)->FrameID();
        tag.SaveToFile(Version);
        covrilo::TID3v2Class again(File);
        (void)again.FrameCount();
    } catch (const covrilo::EID3LibException&) {
    } catch (const covrilo::EAssertionFailed&) {
        // The documented refusal to save unsynchronised, compressed or footer tags.
    } catch (const covrilo::EFOpenError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static const std::filesystem::path dir = MakeWorkDir();
    const std::filesystem::path file = dir / "input.mp3";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    }
    Attempt(file, 0);
    Attempt(file, 0x0400);
    Attempt(file, 0x0200);
    return 0;
}
