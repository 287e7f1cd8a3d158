// SPDX-License-Identifier: MIT
// Cover picture preparation: a camera-sized JPEG scaled to the default limits, and the
// check-only decode of a picture that already fits.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/CoverImage.h"

namespace {

namespace fs = std::filesystem;

// A picture with some structure (a gradient), written once per size.
fs::path MakePicture(int Width, int Height) {
    // One scratch folder for the whole program, removed at exit.
    struct TScratch {
        fs::path Dir = fs::temp_directory_path() / ("bench_cover." + std::to_string(::getpid()));
        TScratch() { fs::create_directories(Dir); }
        ~TScratch() {
            std::error_code ec;
            fs::remove_all(Dir, ec);
        }
    };
    static const TScratch scratch;
    const fs::path& dir = scratch.Dir;
    const fs::path file = dir / (std::to_string(Width) + "x" + std::to_string(Height) + ".jpg");
    if (fs::exists(file)) return file;
    covrilo::TRgbImage image{
        Width, Height, std::vector<uint8_t>(static_cast<size_t>(Width) * static_cast<size_t>(Height) * 3)};
    uint32_t noise = 1;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            uint8_t* p =
                &image.Pixels[(static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)) *
                              3];
            // A gradient with noise on it, as a photo's detail: a plain gradient decodes
            // several times faster than a photo of its size.
            noise = noise * 1103515245u + 12345u;
            const int grain = static_cast<int>((noise >> 24) & 0x3F) - 32;
            p[0] = static_cast<uint8_t>(std::clamp(x * 255 / Width + grain, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(y * 255 / Height - grain, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp(((x + y) & 0xFF) + grain / 2, 0, 255));
        }
    const auto bytes = covrilo::EncodeJpeg(image, 90);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file;
}

void BmPrepareCoverImage(benchmark::State& State) {
    const fs::path source = MakePicture(static_cast<int>(State.range(0)), static_cast<int>(State.range(1)));
    for (auto _ : State) {
        fs::path imagePath = source;
        benchmark::DoNotOptimize(covrilo::PrepareCoverImage(imagePath, 500, 500, 70, source.parent_path()));
    }
    State.SetItemsProcessed(static_cast<int64_t>(State.iterations()) * State.range(0) * State.range(1));
}
BENCHMARK(BmPrepareCoverImage)
    ->Args({4000, 3000})
    ->Args({1600, 1200})
    ->Args({500, 500})
    ->Unit(benchmark::kMillisecond);

// The scaling of PrepareCoverImage from memory, with the rows no destination row samples
// decoded (0) or skipped (1, what PrepareCoverImage does).
void BmScaleJpeg(benchmark::State& State) {
    const fs::path source = MakePicture(4000, 3000);
    std::ifstream in(source, std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (auto _ : State)
        benchmark::DoNotOptimize(covrilo::ScaleJpeg(data, source, 500, 500, 70, State.range(0) != 0));
}
BENCHMARK(BmScaleJpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// ImageMagick's convert -sample (nearest neighbour) on the same file, as a process of its
// own like ours in a run; skipped where Debian's convert is not installed.
void BmConvertSample(benchmark::State& State) {
    const char* convert = "/usr/bin/convert-im6.q16";
    if (::access(convert, X_OK) != 0) {
        State.SkipWithError("no /usr/bin/convert-im6.q16 (imagemagick)");
        return;
    }
    const fs::path source = MakePicture(4000, 3000);
    const std::string target = (source.parent_path() / "convert.jpg").string();
    for (auto _ : State) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl(convert, convert, source.c_str(), "-sample", "500x375", "-quality", "70", target.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) State.SkipWithError("convert failed");
    }
}
BENCHMARK(BmConvertSample)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
