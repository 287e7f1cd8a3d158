// SPDX-License-Identifier: MIT
// Cover picture preparation: a camera-sized JPEG scaled to the default limits, and the
// check-only decode of a picture that already fits.
#include "app/CoverImage.h"

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
    uint32_t Noise = 1;
    for (int Y = 0; Y < Height; ++Y)
        for (int X = 0; X < Width; ++X) {
            uint8_t* P = &Image.Pixels[(static_cast<size_t>(Y) * static_cast<size_t>(Width) + static_cast<size_t>(X)) * 3];
            // A gradient with noise on it, as a photo's detail: a plain gradient decodes
            // several times faster than a photo of its size.
            Noise = Noise * 1103515245u + 12345u;
            const int Grain = static_cast<int>((Noise >> 24) & 0x3F) - 32;
            P[0] = static_cast<uint8_t>(std::clamp(X * 255 / Width + Grain, 0, 255));
            P[1] = static_cast<uint8_t>(std::clamp(Y * 255 / Height - Grain, 0, 255));
            P[2] = static_cast<uint8_t>(std::clamp(((X + Y) & 0xFF) + Grain / 2, 0, 255));
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

// The scaling of PrepareCoverImage from memory, with the rows no destination row samples
// decoded (0) or skipped (1, what PrepareCoverImage does).
void BM_ScaleJpeg(benchmark::State& State) {
    const fs::path Source = MakePicture(4000, 3000);
    std::ifstream In(Source, std::ios::binary);
    const std::vector<uint8_t> Data((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    for (auto _ : State) benchmark::DoNotOptimize(covrilo::ScaleJpeg(Data, Source, 500, 500, 70, State.range(0) != 0));
}
BENCHMARK(BM_ScaleJpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// ImageMagick's convert -sample (nearest neighbour) on the same file, as a process of its
// own like ours in a run; skipped where Debian's convert is not installed.
void BM_ConvertSample(benchmark::State& State) {
    const char* Convert = "/usr/bin/convert-im6.q16";
    if (::access(Convert, X_OK) != 0) {
        State.SkipWithError("no /usr/bin/convert-im6.q16 (imagemagick)");
        return;
    }
    const fs::path Source = MakePicture(4000, 3000);
    const std::string Target = (Source.parent_path() / "convert.jpg").string();
    for (auto _ : State) {
        const pid_t Child = ::fork();
        if (Child == 0) {
            ::execl(Convert, Convert, Source.c_str(), "-sample", "500x375", "-quality", "70", Target.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int Status = 0;
        ::waitpid(Child, &Status, 0);
        if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0) State.SkipWithError("convert failed");
    }
}
BENCHMARK(BM_ConvertSample)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
