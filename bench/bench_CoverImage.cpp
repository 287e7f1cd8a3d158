// SPDX-License-Identifier: MIT
// Cover picture preparation: a camera-sized JPEG scaled to the default limits, and the
// check-only decode of a picture that already fits.
#include "app/CoverImage.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A picture with some structure (a gradient), written once per size.
fs::path MakePicture(int Width, int Height) {
    // One scratch folder for the whole program, removed at exit.
    struct TScratch {
        fs::path Dir = fs::temp_directory_path() / ("bench_cover." + std::to_string(::getpid()));
        TScratch() { fs::create_directories(Dir); }
        ~TScratch() {
            std::error_code Ec;
            fs::remove_all(Dir, Ec);
        }
    };
    static const TScratch Scratch;
    const fs::path& Dir = Scratch.Dir;
    const fs::path File = Dir / (std::to_string(Width) + "x" + std::to_string(Height) + ".jpg");
    if (fs::exists(File)) return File;
    covrilo::TRgbImage Image{Width, Height, std::vector<uint8_t>(static_cast<size_t>(Width) * static_cast<size_t>(Height) * 3)};
    for (int Y = 0; Y < Height; ++Y)
        for (int X = 0; X < Width; ++X) {
            uint8_t* P = &Image.Pixels[(static_cast<size_t>(Y) * static_cast<size_t>(Width) + static_cast<size_t>(X)) * 3];
            P[0] = static_cast<uint8_t>(X * 255 / Width);
            P[1] = static_cast<uint8_t>(Y * 255 / Height);
            P[2] = static_cast<uint8_t>((X + Y) & 0xFF);
        }
    const auto Bytes = covrilo::EncodeJpeg(Image, 90);
    std::ofstream(File, std::ios::binary).write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    return File;
}

void BM_PrepareCoverImage(benchmark::State& State) {
    const fs::path Source = MakePicture(static_cast<int>(State.range(0)), static_cast<int>(State.range(1)));
    for (auto _ : State) {
        fs::path ImagePath = Source;
        benchmark::DoNotOptimize(covrilo::PrepareCoverImage(ImagePath, 500, 500, 70, Source.parent_path()));
    }
    State.SetItemsProcessed(static_cast<int64_t>(State.iterations()) * State.range(0) * State.range(1));
}
BENCHMARK(BM_PrepareCoverImage)->Args({4000, 3000})->Args({1600, 1200})->Args({500, 500})->Unit(benchmark::kMillisecond);

}  // namespace
