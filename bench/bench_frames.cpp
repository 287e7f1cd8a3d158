// SPDX-License-Identifier: MIT
// Frame parsing and writing on their own, from and to memory: a 1 MB picture, a long
// multi-value text frame and a run of short text frames, in the encodings that cost most.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TTxxxFrame.h"

namespace {

using namespace covrilo;
using Bytes = std::vector<uint8_t>;

Bytes Saved(TBaseFrame& Frame, uint16_t Version) {
    TMemoryStream out;
    Frame.SaveToStream(out, Version);
    return out.Data();
}

Bytes PictureFrame() {
    TAPICFrame frame;
    frame.Encoding = teUTF16;
    frame.SetMIMEType("image/jpeg");
    frame.SetPictureType(3);
    frame.SetDescription(u"Front cover of the album");
    Bytes image(1 << 20);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31 + 7);
    frame.PictureData.Data() = image;
    return Saved(frame, 0x0300);
}

Bytes TextFrame(size_t Values, size_t Length) {
    TTxxxFrame frame;
    frame.SetFrameID("TXXX");
    frame.Encoding = teUTF16;
    frame.Text = u"description";
    for (size_t i = 0; i < Values; ++i)
        frame.MoreTexts.emplace_back(Length, static_cast<char16_t>(0x4E00 + i % 100));
    return Saved(frame, 0x0300);
}

void BmLoadPicture(benchmark::State& State) {
    const Bytes data = PictureFrame();
    for (auto _ : State) {
        TCustomMemoryStream in(data);
        TAPICFrame frame;
        benchmark::DoNotOptimize(frame.LoadFromStream(in, 0x0300));
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(data.size()));
}
BENCHMARK(BmLoadPicture);

void BmSavePicture(benchmark::State& State) {
    const Bytes data = PictureFrame();
    TCustomMemoryStream in(data);
    TAPICFrame frame;
    frame.LoadFromStream(in, 0x0300);
    for (auto _ : State) {
        TMemoryStream out;
        benchmark::DoNotOptimize(frame.SaveToStream(out, 0x0400));
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(data.size()));
}
BENCHMARK(BmSavePicture);

void BmLoadMultiValueText(benchmark::State& State) {
    const Bytes data = TextFrame(static_cast<size_t>(State.range(0)), 40);
    for (auto _ : State) {
        TCustomMemoryStream in(data);
        TTxxxFrame frame;
        benchmark::DoNotOptimize(frame.LoadFromStream(in, 0x0300));
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(data.size()));
}
BENCHMARK(BmLoadMultiValueText)->Arg(1)->Arg(1000);

void BmLoadShortTextFrames(benchmark::State& State) {
    Bytes data;
    for (int i = 0; i < 100; ++i) {
        const Bytes one = TextFrame(1, 20);
        data.insert(data.end(), one.begin(), one.end());
    }
    for (auto _ : State) {
        TCustomMemoryStream in(data);
        for (int i = 0; i < 100; ++i) {
            TTxxxFrame frame;
            benchmark::DoNotOptimize(frame.LoadFromStream(in, 0x0300));
        }
    }
    State.SetItemsProcessed(int64_t(State.iterations()) * 100);
}
BENCHMARK(BmLoadShortTextFrames);

}  // namespace
