// SPDX-License-Identifier: MIT
// FLAC and Ogg Vorbis comment reading and saving on files with a few hundred comments and
// about 4 MiB of stand-in audio: the read, the in-place FLAC save, and the whole-file
// rewrites (FLAC through "~" and the Ogg second-page rewrite).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/FLACfile.h"
#include "formats/qmx_tag_oggvorbis.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

constexpr size_t kAudioBytes = 4 << 20;

void PutLE32(Bytes& B, uint32_t V) {
    for (int i = 0; i < 4; ++i) B.push_back(static_cast<uint8_t>(V >> (8 * i)));
}

Bytes Comment(size_t Entries) {
    Bytes b;
    const std::string vendor = "bench";
    PutLE32(b, static_cast<uint32_t>(vendor.size()));
    b.insert(b.end(), vendor.begin(), vendor.end());
    PutLE32(b, static_cast<uint32_t>(Entries));
    for (size_t i = 0; i < Entries; ++i) {
        std::string e = "KEY" + std::to_string(i) + "=value number " + std::to_string(i);
        PutLE32(b, static_cast<uint32_t>(e.size()));
        b.insert(b.end(), e.begin(), e.end());
    }
    return b;
}

void Header(Bytes& B, uint8_t First, size_t Length) {
    B.push_back(First);
    B.push_back(static_cast<uint8_t>(Length >> 16));
    B.push_back(static_cast<uint8_t>(Length >> 8));
    B.push_back(static_cast<uint8_t>(Length));
}

Bytes Flac(size_t Padding) {
    Bytes b = {'f', 'L', 'a', 'C'};
    Header(b, 0, 34);
    Bytes info(34, 0);
    info[10] = 0x0A;  // 44100 Hz, 2 channels, 16 bits, 4410000 samples
    info[11] = 0xC4;
    info[12] = 0x42;
    info[13] = 0xF0;
    info[15] = 0x43;
    info[16] = 0x4A;
    info[17] = 0x90;
    b.insert(b.end(), info.begin(), info.end());
    Bytes comment = Comment(300);
    Header(b, Padding ? 4 : 0x84, comment.size());
    b.insert(b.end(), comment.begin(), comment.end());
    if (Padding) {
        Header(b, 0x81, Padding);
        b.resize(b.size() + Padding, 0);
    }
    b.resize(b.size() + kAudioBytes, 0x5A);
    return b;
}

Bytes OggPage(uint8_t Type, uint32_t Seq, const std::vector<Bytes>& Packets, uint64_t Granule) {
    Bytes lacing, body;
    for (const Bytes& p : Packets) {
        size_t n = p.size();
        for (; n >= 255; n -= 255) lacing.push_back(255);
        lacing.push_back(static_cast<uint8_t>(n));
        body.insert(body.end(), p.begin(), p.end());
    }
    Bytes page = {'O', 'g', 'g', 'S', 0, Type};
    for (int i = 0; i < 8; ++i) page.push_back(static_cast<uint8_t>(Granule >> (8 * i)));
    PutLE32(page, 1);
    PutLE32(page, Seq);
    PutLE32(page, 0);
    page.push_back(static_cast<uint8_t>(lacing.size()));
    page.insert(page.end(), lacing.begin(), lacing.end());
    page.insert(page.end(), body.begin(), body.end());
    uint32_t crc = covrilo::OggCRC32(page);
    for (int i = 0; i < 4; ++i) page[22 + i] = static_cast<uint8_t>(crc >> (8 * i));
    return page;
}

Bytes Ogg() {
    Bytes ident = {1, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, 2};
    PutLE32(ident, 44100);
    PutLE32(ident, 0);
    PutLE32(ident, 128000);
    PutLE32(ident, 0);
    ident.push_back(0xB8);
    ident.push_back(1);
    Bytes comment = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    Bytes c = Comment(300);
    comment.insert(comment.end(), c.begin(), c.end());
    comment.push_back(1);
    Bytes setup = {5, 'v', 'o', 'r', 'b', 'i', 's'};
    setup.resize(3000, 0x33);
    Bytes b = OggPage(2, 0, {ident}, 0);
    Bytes p2 = OggPage(0, 1, {comment, setup}, 0);
    b.insert(b.end(), p2.begin(), p2.end());
    uint32_t seq = 2;
    for (size_t done = 0; done < kAudioBytes; done += 4000) {
        Bytes p = OggPage(0, seq, {Bytes(4000, static_cast<uint8_t>(seq))}, seq * 1024ull);
        ++seq;
        b.insert(b.end(), p.begin(), p.end());
    }
    return b;
}

void Write(const fs::path& P, const Bytes& B) {
    std::ofstream out(P, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(B.data()), static_cast<std::streamsize>(B.size()));
}

fs::path TempPath(const char* Ext) {
    return fs::temp_directory_path() / ("covrilo-bench-" + std::to_string(::getpid()) + Ext);
}

void BmFlacRead(benchmark::State& State) {
    fs::path file = TempPath(".flac");
    Write(file, Flac(8192));
    for (auto _ : State) {
        covrilo::TFLACfile f;
        benchmark::DoNotOptimize(f.ReadFromFile(file));
    }
    fs::remove(file);
}
BENCHMARK(BmFlacRead);

void BmFlacSaveInPlace(benchmark::State& State) {
    fs::path file = TempPath(".flac");
    Write(file, Flac(8192));
    covrilo::TFLACfile f;
    f.ReadFromFile(file);
    int i = 0;
    for (auto _ : State) {
        f.Values[covrilo::fkTitle] = "title " + std::to_string(i++ % 10);
        if (!f.SaveToFile(file, false)) State.SkipWithError("save failed");
    }
    fs::remove(file);
}
BENCHMARK(BmFlacSaveInPlace);

void BmFlacSaveThroughTemp(benchmark::State& State) {
    fs::path file = TempPath(".flac");
    const Bytes data = Flac(0);
    for (auto _ : State) {
        State.PauseTiming();
        Write(file, data);
        covrilo::TFLACfile f;
        f.ReadFromFile(file);
        f.Values[covrilo::fkTitle] = "a new title";
        State.ResumeTiming();
        if (!f.SaveToFile(file, false)) State.SkipWithError("save failed");
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * data.size()));
    fs::remove(file);
}
BENCHMARK(BmFlacSaveThroughTemp)->Unit(benchmark::kMillisecond);

void BmOggRead(benchmark::State& State) {
    fs::path file = TempPath(".ogg");
    Write(file, Ogg());
    for (auto _ : State) {
        covrilo::TOggVorbis o;
        benchmark::DoNotOptimize(o.ReadFromFile(file));
    }
    fs::remove(file);
}
BENCHMARK(BmOggRead);

void BmOggSaveTag(benchmark::State& State) {
    fs::path file = TempPath(".ogg");
    const Bytes data = Ogg();
    Write(file, data);
    int i = 0;
    for (auto _ : State) {
        covrilo::TOggVorbis o;
        o.Fields = {covrilo::TOggField("TITLE", u"title " + std::u16string(1, u'0' + i++ % 10))};
        if (!o.SaveTag(file)) State.SkipWithError("save failed");
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * data.size()));
    fs::remove(file);
}
BENCHMARK(BmOggSaveTag)->Unit(benchmark::kMillisecond);

}  // namespace
