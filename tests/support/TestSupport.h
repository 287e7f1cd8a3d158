// SPDX-License-Identifier: MIT
// Small helpers shared by the test suites: scoped temporary folders, whole-file I/O,
// running external tools (encoders and peer tag readers used as oracles).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace covrilo::test {

using Bytes = std::vector<uint8_t>;

// A fresh folder under the system temp dir, removed with everything in it on destruction.
class TempDir {
   public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& Name) const { return path_ / Name; }

   private:
    std::filesystem::path path_;
};

Bytes ReadFileBytes(const std::filesystem::path& File);
// The file's bytes as a string (raises when it cannot be read).
std::string ReadFileText(const std::filesystem::path& File);
void WriteFileBytes(const std::filesystem::path& File, const Bytes& Data);
Bytes ToBytes(std::string_view Text);
// Size bytes of a pattern that Seed varies, so that a shifted or mixed-up byte shows.
Bytes Pattern(size_t Size, uint8_t Seed);
// Count MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz: 417 bytes each) with a pattern as
// their content, so that a shifted or cut byte shows: audio a save accepts as MPEG.
Bytes MpegAudioFrames(size_t Count = 7);
// Bytes from a C++ string literal that may hold zero bytes: B("ID3\x03\x00", 5).
inline Bytes B(const char* Data, size_t Size) { return Bytes(Data, Data + Size); }

struct CommandResult {
    int ExitCode = -1;
    std::string Output;  // stdout and stderr together
};
// Runs a shell command line, capturing its output.
CommandResult RunCommand(const std::string& CommandLine);
// True when an executable of that name is on PATH (or an absolute path that exists).
bool HaveTool(const std::string& Name);
// Quotes a string for a POSIX shell.
std::string ShellQuote(const std::string& Text);
// The repository's root folder.
std::filesystem::path SourceDir();

// A folder on a file system of its own for as long as the object lives: a fresh ext4 image
// mounted through a loop device ("ext4"), or a tmpfs ("tmpfs"). Path() is empty and Reason()
// says why where it cannot be had here (not root, no mkfs.ext4, no loop device, ...).
class TMountedDir {
   public:
    explicit TMountedDir(const std::string& Type, int SizeMiB = 64);
    ~TMountedDir();
    TMountedDir(const TMountedDir&) = delete;
    TMountedDir& operator=(const TMountedDir&) = delete;
    const std::filesystem::path& Path() const { return mount_; }
    const std::string& Reason() const { return reason_; }

   private:
    TempDir holder_;
    std::filesystem::path mount_;
    std::string reason_;
};
// Whether Folder's file system inserts whole blocks into files (FALLOC_FL_INSERT_RANGE).
bool InsertsBlocks(const std::filesystem::path& Folder);

// For tests whose point is a permission that root would ignore. Run as root, it runs the
// current test again in a child process as the unprivileged user 65534 (setpriv) and
// reports how that went: Skipped with the reason when it cannot be done, else Passed and
// the child's output.
struct UnprivilegedRun {
    bool Skipped = false;
    bool Passed = false;
    std::string Output;
};
UnprivilegedRun RunCurrentTestUnprivileged();

// At the start of such a test: as root, the test's verdict is the unprivileged child's and
// the test returns; otherwise the test goes on.
#define COVRILO_RUN_UNPRIVILEGED()                                                    \
    do {                                                                              \
        if (::covrilo::test::RunningAsRoot()) {                                       \
            const auto unprivileged_ = ::covrilo::test::RunCurrentTestUnprivileged(); \
            if (unprivileged_.Skipped) GTEST_SKIP() << unprivileged_.Output;          \
            EXPECT_TRUE(unprivileged_.Passed) << unprivileged_.Output;                \
            return;                                                                   \
        }                                                                             \
    } while (0)
bool RunningAsRoot();

}  // namespace covrilo::test
