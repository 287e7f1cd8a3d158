// SPDX-License-Identifier: MIT
// Base64 of cover pictures as stored in Vorbis comments.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "formats/DIMime.h"
#include "io/EnhancedStreams.h"

namespace {

std::vector<uint8_t> RandomBytes(size_t Size) {
    std::mt19937 gen(1);
    std::vector<uint8_t> out(Size);
    for (auto& b : out) b = static_cast<uint8_t>(gen());
    return out;
}

void BmMimeEncodeString(benchmark::State& State) {
    const auto data = RandomBytes(static_cast<size_t>(State.range(0)));
    for (auto _ : State) benchmark::DoNotOptimize(covrilo::MimeEncodeString(data));
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * State.range(0));
}
BENCHMARK(BmMimeEncodeString)->Arg(2736)->Arg(200 * 1024)->Arg(4 * 1024 * 1024);

void BmMimeEncodeStream(benchmark::State& State) {
    const auto data = RandomBytes(static_cast<size_t>(State.range(0)));
    for (auto _ : State) {
        covrilo::TMemoryStream stream(data);
        benchmark::DoNotOptimize(covrilo::MimeEncodeStream(stream));
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * State.range(0));
}
BENCHMARK(BmMimeEncodeStream)->Arg(200 * 1024)->Arg(4 * 1024 * 1024);

}  // namespace
