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
    TMemoryStream Out;
    Frame.SaveToStream(Out, Version);
    return Out.Data();
}

Bytes PictureFrame() {
    TAPICFrame Frame;
    Frame.Encoding = teUTF16;
    Frame.SetMIMEType("image/jpeg");
    Frame.SetPictureType(3);
    Frame.SetDescription(u"Front cover of the album");
    Bytes Image(1 << 20);
    for (size_t I = 0; I < Image.size(); ++I) Image[I] = static_cast<uint8_t>(I * 31 + 7);
    Frame.PictureData.Data() = Image;
    return Saved(Frame, 0x0300);
}

Bytes TextFrame(size_t Values, size_t Length) {
    TTxxxFrame Frame;
    Frame.SetFrameID("TXXX");
    Frame.Encoding = teUTF16;
    Frame.Text = u"description";
    for (size_t I = 0; I < Values; ++I) Frame.MoreTexts.emplace_back(Length, static_cast<char16_t>(0x4E00 + I % 100));
    return Saved(Frame, 0x0300);
}

void BM_LoadPicture(benchmark::State& State) {
    const Bytes Data = PictureFrame();
    for (auto _ : State) {
        TCustomMemoryStream In(Data);
        TAPICFrame Frame;
        benchmark::DoNotOptimize(Frame.LoadFromStream(In, 0x0300));
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(Data.size()));
}
BENCHMARK(BM_LoadPicture);

void BM_SavePicture(benchmark::State& State) {
    const Bytes Data = PictureFrame();
    TCustomMemoryStream In(Data);
    TAPICFrame Frame;
    Frame.LoadFromStream(In, 0x0300);
    for (auto _ : State) {
        TMemoryStream Out;
        benchmark::DoNotOptimize(Frame.SaveToStream(Out, 0x0400));
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(Data.size()));
}
BENCHMARK(BM_SavePicture);

void BM_LoadMultiValueText(benchmark::State& State) {
    const Bytes Data = TextFrame(static_cast<size_t>(State.range(0)), 40);
    for (auto _ : State) {
        TCustomMemoryStream In(Data);
        TTxxxFrame Frame;
        benchmark::DoNotOptimize(Frame.LoadFromStream(In, 0x0300));
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(Data.size()));
}
BENCHMARK(BM_LoadMultiValueText)->Arg(1)->Arg(1000);

void BM_LoadShortTextFrames(benchmark::State& State) {
    Bytes Data;
    for (int I = 0; I < 100; ++I) {
        const Bytes One = TextFrame(1, 20);
        Data.insert(Data.end(), One.begin(), One.end());
    }
    for (auto _ : State) {
        TCustomMemoryStream In(Data);
        for (int I = 0; I < 100; ++I) {
            TTxxxFrame Frame;
            benchmark::DoNotOptimize(Frame.LoadFromStream(In, 0x0300));
        }
    }
    State.SetItemsProcessed(int64_t(State.iterations()) * 100);
}
BENCHMARK(BM_LoadShortTextFrames);

}  // namespace
