// SPDX-License-Identifier: MIT
// Loading a typical tag (ten text frames and a 100 kB picture) and saving it in place.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TTxxxFrame.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& Out, const Bytes& More) { Out.insert(Out.end(), More.begin(), More.end()); }

Bytes Frame23(const std::string& ID, const Bytes& Content) {
    const auto n = static_cast<uint32_t>(Content.size());
    Bytes out(ID.begin(), ID.end());
    Append(out, {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                 static_cast<uint8_t>(n), 0, 0});
    Append(out, Content);
    return out;
}

Bytes Latin1(const std::string& Text) {
    Bytes out{0};
    out.insert(out.end(), Text.begin(), Text.end());
    out.push_back(0);
    return out;
}

// A 2.3 tag of ten text frames and a 100 kB front cover with 2 kB of padding, followed by
// 4 MB of stand-in audio.
Bytes TypicalFile() {
    Bytes frames;
    const char* ids[] = {"TIT2", "TPE1", "TALB", "TYER", "TRCK", "TCON", "TPE2", "TCOM", "TENC", "TPOS"};
    for (const char* id : ids)
        Append(frames, Frame23(id, Latin1(std::string(id) + " value of typical length")));
    Bytes picture{0};
    const std::string mime = "image/jpeg";
    picture.insert(picture.end(), mime.begin(), mime.end());
    for (const uint8_t b : {0, 3, 0}) picture.push_back(b);  // end of MIME, front cover, empty description
    for (int i = 0; i < 100 * 1024; ++i) picture.push_back(static_cast<uint8_t>(i * 31 + 7));
    Append(frames, Frame23("APIC", picture));
    const uint32_t size = static_cast<uint32_t>(frames.size() + 2048);
    Bytes file{'I',
               'D',
               '3',
               3,
               0,
               0,
               static_cast<uint8_t>((size >> 21) & 0x7F),
               static_cast<uint8_t>((size >> 14) & 0x7F),
               static_cast<uint8_t>((size >> 7) & 0x7F),
               static_cast<uint8_t>(size & 0x7F)};
    Append(file, frames);
    file.resize(file.size() + 2048, 0);
    for (int i = 0; i < 4 * 1024 * 1024; ++i) file.push_back(static_cast<uint8_t>(i % 2 ? 0xFF : i % 251));
    return file;
}

class TypicalTag {
   public:
    TypicalTag() {
        std::string pattern = (std::filesystem::temp_directory_path() / "bench_id3v2.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
        file_ = dir_ / "typical.mp3";
        const Bytes bytes = TypicalFile();
        std::ofstream(file_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ~TypicalTag() { std::filesystem::remove_all(dir_); }
    const std::filesystem::path& File() const { return file_; }

   private:
    std::filesystem::path dir_, file_;
};

void BmLoadTypicalTag(benchmark::State& State) {
    const TypicalTag fixture;
    for (auto _ : State) {
        covrilo::TID3v2Class tag(fixture.File());
        benchmark::DoNotOptimize(tag.FrameCount());
    }
}
BENCHMARK(BmLoadTypicalTag)->Unit(benchmark::kMicrosecond);

// Changing the title and saving reuses the old tag area: no audio is copied.
void BmSaveTypicalTagInPlace(benchmark::State& State) {
    const TypicalTag fixture;
    const auto size = std::filesystem::file_size(fixture.File());
    int round = 0;
    for (auto _ : State) {
        State.PauseTiming();
        covrilo::TID3v2Class tag(fixture.File());
        auto* title = dynamic_cast<covrilo::TTxxxFrame*>(tag.Frames(0));
        title->SetText(round++ % 2 ? u"First title" : u"Other title");
        State.ResumeTiming();
        if (!tag.SaveToFile(0)) State.SkipWithError("save failed");
    }
    if (std::filesystem::file_size(fixture.File()) != size) State.SkipWithError("the save was not in place");
}
BENCHMARK(BmSaveTypicalTagInPlace)->Unit(benchmark::kMicrosecond);

}  // namespace
