// SPDX-License-Identifier: MIT
// Base64 of cover pictures as stored in Vorbis comments.
#include "formats/DIMime.h"

#include "io/EnhancedStreams.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

std::vector<uint8_t> RandomBytes(size_t Size) {
    std::mt19937 Gen(1);
    std::vector<uint8_t> Out(Size);
    for (auto& B : Out) B = static_cast<uint8_t>(Gen());
    return Out;
}

void BM_MimeEncodeString(benchmark::State& State) {
    const auto Data = RandomBytes(static_cast<size_t>(State.range(0)));
    for (auto _ : State) benchmark::DoNotOptimize(covrilo::MimeEncodeString(Data));
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * State.range(0));
}
BENCHMARK(BM_MimeEncodeString)->Arg(2736)->Arg(200 * 1024)->Arg(4 * 1024 * 1024);

void BM_MimeEncodeStream(benchmark::State& State) {
    const auto Data = RandomBytes(static_cast<size_t>(State.range(0)));
    for (auto _ : State) {
        covrilo::TMemoryStream Stream(Data);
        benchmark::DoNotOptimize(covrilo::MimeEncodeStream(Stream));
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * State.range(0));
}
BENCHMARK(BM_MimeEncodeStream)->Arg(200 * 1024)->Arg(4 * 1024 * 1024);

}  // namespace
