// SPDX-License-Identifier: MIT
// The window's own share of the work, on Qt's offscreen platform: a drop of a folder of many
// files (listing, sorting, rows), loading a large picture into the preview (our decoder,
// then the nearest-neighbour fit), and a run's per-file cost in the window (status cell,
// scrolling, event processing) over missing files, which the run marks "Error" without
// touching the disk beyond a look, so that the window's part is what is timed.
#include "app/CoverImage.h"
#include "app/gui/main.h"

#include <QApplication>
#include <QTableWidget>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using covrilo::TForm1;

// A scratch folder for the run, removed at exit.
struct TScratch {
    fs::path Dir;
    TScratch() {
        std::string Pattern = (fs::temp_directory_path() / "covrilo-bench-XXXXXX").string();
        if (!::mkdtemp(Pattern.data())) std::abort();
        Dir = Pattern;
    }
    ~TScratch() {
        std::error_code Ec;
        fs::remove_all(Dir, Ec);
    }
};

TScratch& Scratch() {
    static TScratch Instance;
    return Instance;
}

std::unique_ptr<TForm1> MakeForm() {
    covrilo::TFormDialogs Dialogs;
    Dialogs.ShowError = [](QWidget*, const QString&) {};
    return std::make_unique<TForm1>(Scratch().Dir, Dialogs);
}

fs::path FolderOf(int Count) {
    const fs::path Folder = Scratch().Dir / ("folder-" + std::to_string(Count));
    if (fs::exists(Folder)) return Folder;
    fs::create_directories(Folder / "sub");
    for (int I = 0; I < Count; ++I) {
        // Mixed case, so the sort has work to do; a tenth in a sub-folder.
        const std::string Name = (I % 3 ? "Track " : "track ") + std::to_string((I * 7919) % Count) + ".mp3";
        std::ofstream(I % 10 ? Folder / Name : Folder / "sub" / Name) << 'x';
    }
    return Folder;
}

void BM_DropFolder(benchmark::State& State) {
    const fs::path Folder = FolderOf(static_cast<int>(State.range(0)));
    for (auto _ : State) {
        State.PauseTiming();
        auto Form = MakeForm();
        State.ResumeTiming();
        Form->WMDropFiles({Folder});
        benchmark::DoNotOptimize(Form->EntryPath(0));
        State.PauseTiming();
        Form.reset();
        State.ResumeTiming();
    }
    State.SetItemsProcessed(State.iterations() * State.range(0));
}
BENCHMARK(BM_DropFolder)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_LoadImagePreview(benchmark::State& State) {
    const int Width = static_cast<int>(State.range(0)), Height = Width * 3 / 4;
    const fs::path File = Scratch().Dir / ("picture-" + std::to_string(Width) + ".jpg");
    if (!fs::exists(File)) {
        covrilo::TRgbImage Image{Width, Height, std::vector<uint8_t>(static_cast<size_t>(Width) * Height * 3)};
        for (size_t I = 0; I < Image.Pixels.size(); ++I) Image.Pixels[I] = static_cast<uint8_t>((I * 31) ^ (I >> 11));
        const auto Bytes = covrilo::EncodeJpeg(Image, 90);
        std::ofstream(File, std::ios::binary).write(reinterpret_cast<const char*>(Bytes.data()),
                                                    static_cast<std::streamsize>(Bytes.size()));
    }
    auto Form = MakeForm();
    for (auto _ : State) {
        Form->LoadImage(File);
        benchmark::DoNotOptimize(Form->ImagePath());
    }
}
BENCHMARK(BM_LoadImagePreview)->Arg(1200)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_RunOverMissingFiles(benchmark::State& State) {
    const int Count = static_cast<int>(State.range(0));
    std::vector<fs::path> Files;
    for (int I = 0; I < Count; ++I) Files.push_back(Scratch().Dir / "missing" / std::to_string(I) += ".mp3");
    // A small picture within the limits: prepared (decoded) once per run, never scaled.
    const fs::path Picture = Scratch().Dir / "small.jpg";
    const auto Bytes = covrilo::EncodeJpeg({16, 16, std::vector<uint8_t>(16 * 16 * 3, 0x80)}, 90);
    std::ofstream(Picture, std::ios::binary).write(reinterpret_cast<const char*>(Bytes.data()),
                                                   static_cast<std::streamsize>(Bytes.size()));
    auto Form = MakeForm();
    Form->show();
    for (const auto& File : Files) Form->AddFile(File);
    Form->LoadImage(Picture);
    for (auto _ : State) Form->btn_startClick();
    if (Form->findChild<QTableWidget*>(QStringLiteral("lst_files"))->item(Count - 1, 2)->text() != "Error")
        State.SkipWithError("the run did not reach the last file");
    State.SetItemsProcessed(State.iterations() * Count);
}
BENCHMARK(BM_RunOverMissingFiles)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication Application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
