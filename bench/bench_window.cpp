// SPDX-License-Identifier: MIT
// The window's own share of the work, on Qt's offscreen platform: a drop of a folder of many
// files (listing, sorting, rows), loading a large picture into the preview (our decoder,
// then the nearest-neighbour fit), and a run's per-file cost in the window (status cell,
// scrolling, event processing) over missing files, which the run marks "Error" without
// touching the disk beyond a look, so that the window's part is what is timed.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableWidget>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "app/CoverImage.h"
#include "app/gui/main.h"

namespace {

namespace fs = std::filesystem;
using covrilo::TForm1;

// A scratch folder for the run, removed at exit.
struct TScratch {
    fs::path Dir;
    TScratch() {
        std::string pattern = (fs::temp_directory_path() / "covrilo-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        Dir = pattern;
    }
    ~TScratch() {
        std::error_code ec;
        fs::remove_all(Dir, ec);
    }
};

TScratch& Scratch() {
    static TScratch instance;
    return instance;
}

std::unique_ptr<TForm1> MakeForm() {
    covrilo::TFormDialogs dialogs;
    dialogs.ShowError = [](QWidget*, const QString&) {};
    return std::make_unique<TForm1>(Scratch().Dir, dialogs);
}

fs::path FolderOf(int Count) {
    const fs::path folder = Scratch().Dir / ("folder-" + std::to_string(Count));
    if (fs::exists(folder)) return folder;
    fs::create_directories(folder / "sub");
    for (int i = 0; i < Count; ++i) {
        // Mixed case, so the sort has work to do; a tenth in a sub-folder.
        const std::string name = (i % 3 ? "Track " : "track ") + std::to_string((i * 7919) % Count) + ".mp3";
        std::ofstream(i % 10 ? folder / name : folder / "sub" / name) << 'x';
    }
    return folder;
}

void BmDropFolder(benchmark::State& State) {
    const fs::path folder = FolderOf(static_cast<int>(State.range(0)));
    for (auto _ : State) {
        State.PauseTiming();
        auto form = MakeForm();
        State.ResumeTiming();
        form->WMDropFiles({folder});
        benchmark::DoNotOptimize(form->EntryPath(0));
        State.PauseTiming();
        form.reset();
        State.ResumeTiming();
    }
    State.SetItemsProcessed(State.iterations() * State.range(0));
}
BENCHMARK(BmDropFolder)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BmLoadImagePreview(benchmark::State& State) {
    const int width = static_cast<int>(State.range(0)), height = width * 3 / 4;
    const fs::path file = Scratch().Dir / ("picture-" + std::to_string(width) + ".jpg");
    if (!fs::exists(file)) {
        covrilo::TRgbImage image{width, height,
                                 std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
        for (size_t i = 0; i < image.Pixels.size(); ++i)
            image.Pixels[i] = static_cast<uint8_t>((i * 31) ^ (i >> 11));
        const auto bytes = covrilo::EncodeJpeg(image, 90);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    auto form = MakeForm();
    for (auto _ : State) {
        form->LoadImage(file);
        benchmark::DoNotOptimize(form->ImagePath());
    }
}
BENCHMARK(BmLoadImagePreview)->Arg(1200)->Arg(4000)->Unit(benchmark::kMillisecond);

void BmRunOverMissingFiles(benchmark::State& State) {
    const int count = static_cast<int>(State.range(0));
    std::vector<fs::path> files;
    for (int i = 0; i < count; ++i) files.push_back(Scratch().Dir / "missing" / std::to_string(i) += ".mp3");
    // A small picture within the limits: prepared (decoded) once per run, never scaled.
    const fs::path picture = Scratch().Dir / "small.jpg";
    const auto bytes = covrilo::EncodeJpeg({16, 16, std::vector<uint8_t>(16 * 16 * 3, 0x80)}, 90);
    std::ofstream(picture, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    auto form = MakeForm();
    form->show();
    for (const auto& file : files) form->AddFile(file);
    form->LoadImage(picture);
    for (auto _ : State) form->btn_startClick();
    if (form->findChild<QTableWidget*>(QStringLiteral("lst_files"))->item(count - 1, 2)->text() != "Error")
        State.SkipWithError("the run did not reach the last file");
    State.SetItemsProcessed(State.iterations() * count);
}
BENCHMARK(BmRunOverMissingFiles)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
