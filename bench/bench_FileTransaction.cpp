// SPDX-License-Identifier: MIT
// What a durable, atomic save costs: an in-place save through the rollback journal against
// the same bytes written and synced without a journal, and against written without a sync
// (what saves did before); and a rewrite of the whole file. The file is a tag area of
// Arg bytes followed by 4 MB of stand-in audio; every save writes the whole tag area.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/FileTransaction.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int64_t kAudio = 4 * 1024 * 1024;

class TFile {
   public:
    explicit TFile(int64_t TagArea) {
        // Beside the build, on the disk the user's music would be on, not in a RAM folder.
        std::string pattern = (std::filesystem::current_path() / "bench_transaction.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
        file_ = dir_ / "song.mp3";
        Bytes bytes(static_cast<size_t>(TagArea + kAudio));
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
        std::ofstream(file_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ::sync();
    }
    ~TFile() { std::filesystem::remove_all(dir_); }
    const std::filesystem::path& Path() const { return file_; }

   private:
    std::filesystem::path dir_, file_;
};

Bytes NewTag(int64_t Size, int Round) {
    return Bytes(static_cast<size_t>(Size), static_cast<uint8_t>(Round));
}

void BmInPlaceThroughTheJournal(benchmark::State& State) {
    const TFile file(State.range(0));
    int round = 0;
    for (auto _ : State) {
        covrilo::TFileTransaction transaction(file.Path());
        transaction.CommitInPlace({{0, State.range(0), NewTag(State.range(0), ++round)}});
    }
    State.SetBytesProcessed(State.iterations() * State.range(0));
}

// The same bytes with pwrite alone, synced or not.
void BmInPlaceWithoutJournal(benchmark::State& State, bool Synced) {
    const TFile file(State.range(0));
    int round = 0;
    for (auto _ : State) {
        const int fd = ::open(file.Path().c_str(), O_RDWR);
        const Bytes tag = NewTag(State.range(0), ++round);
        if (::pwrite(fd, tag.data(), tag.size(), 0) != static_cast<ssize_t>(tag.size()) ||
            (Synced && ::fsync(fd) != 0))
            State.SkipWithError("write failed");
        ::close(fd);
    }
    State.SetBytesProcessed(State.iterations() * State.range(0));
}

void BmRewrite(benchmark::State& State) {
    const TFile file(State.range(0));
    int round = 0;
    for (auto _ : State) {
        covrilo::TFileTransaction transaction(file.Path());
        // One byte more than the old area: the tag grows, the file is written anew.
        transaction.CommitRewrite({{0, State.range(0), NewTag(State.range(0) + 1, ++round)}});
        State.PauseTiming();
        {
            covrilo::TFileTransaction shrink(file.Path());
            shrink.CommitRewrite({{0, State.range(0) + 1, NewTag(State.range(0), round)}});
        }
        State.ResumeTiming();
    }
}

BENCHMARK(BmInPlaceThroughTheJournal)
    ->Arg(4096)
    ->Arg(100 * 1024)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BmInPlaceWithoutJournal, Synced, true)
    ->Arg(4096)
    ->Arg(100 * 1024)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BmInPlaceWithoutJournal, Unsynced, false)
    ->Arg(4096)
    ->Arg(100 * 1024)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BmRewrite)->Arg(4096)->Arg(100 * 1024)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
