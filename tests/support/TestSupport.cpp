// SPDX-License-Identifier: MIT
#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace covrilo::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "covrilo-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TMountedDir::TMountedDir(const std::string& Type, int SizeMiB) {
    if (::geteuid() != 0) {
        reason_ = "mounting a " + Type + " file system needs root";
        return;
    }
    const std::filesystem::path point = holder_ / "mnt";
    std::filesystem::create_directory(point);
    std::string command;
    if (Type == "ext4") {
        if (!HaveTool("mkfs.ext4")) {
            reason_ = "no mkfs.ext4 (e2fsprogs)";
            return;
        }
        const std::filesystem::path image = holder_ / "ext4.img";
        command = "truncate -s " + std::to_string(SizeMiB) + "M " + ShellQuote(image.string()) +
                  " && mkfs.ext4 -q -F -b 4096 " + ShellQuote(image.string()) + " && mount -o loop " +
                  ShellQuote(image.string()) + " " + ShellQuote(point.string());
    } else {
        command = "mount -t " + Type + " -o size=" + std::to_string(SizeMiB) + "m none " +
                  ShellQuote(point.string());
    }
    const CommandResult r = RunCommand(command + " 2>&1");
    if (r.ExitCode != 0) {
        reason_ = "cannot mount a " + Type + " file system here: " + r.Output;
        return;
    }
    mount_ = point;
}

TMountedDir::~TMountedDir() {
    if (!mount_.empty()) RunCommand("umount " + ShellQuote(mount_.string()) + " 2>&1");
}

bool InsertsBlocks(const std::filesystem::path& Folder) {
    const std::filesystem::path probe = Folder / ".covrilo-insert-probe";
    const int fd = ::open(probe.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return false;
    std::vector<uint8_t> block(65536, 1);
    bool ok = ::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()) &&
              ::fallocate(fd, FALLOC_FL_INSERT_RANGE, 4096, 4096) == 0;
    ::close(fd);
    ::unlink(probe.c_str());
    return ok;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

Bytes ReadFileBytes(const std::filesystem::path& File) {
    std::ifstream in(File, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + File.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::filesystem::path& File) {
    const Bytes bytes = ReadFileBytes(File);
    return std::string(bytes.begin(), bytes.end());
}

void WriteFileBytes(const std::filesystem::path& File, const Bytes& Data) {
    std::ofstream out(File, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + File.string());
    out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}

Bytes ToBytes(std::string_view Text) { return Bytes(Text.begin(), Text.end()); }

Bytes Pattern(size_t Size, uint8_t Seed) {
    Bytes b(Size);
    for (size_t i = 0; i < Size; ++i) b[i] = static_cast<uint8_t>(i * 13 + Seed);
    return b;
}

CommandResult RunCommand(const std::string& CommandLine) {
    CommandResult result;
    std::string full = CommandLine + " 2>&1";
    FILE* pipe = ::popen(full.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.Output.append(buffer.data(), n);
    int status = ::pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool HaveTool(const std::string& Name) {
    return RunCommand("command -v " + ShellQuote(Name) + " >/dev/null").ExitCode == 0;
}

std::string ShellQuote(const std::string& Text) {
    std::string quoted = "'";
    for (char c : Text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::filesystem::path SourceDir() { return COVRILO_SOURCE_DIR; }

Bytes MpegAudioFrames(size_t Count) {
    Bytes a(Count * 417);
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<uint8_t>(i * 7 + 1);
    for (size_t frame = 0; frame < Count; ++frame) {
        a[frame * 417] = 0xFF;
        a[frame * 417 + 1] = 0xFB;
        a[frame * 417 + 2] = 0x90;
        a[frame * 417 + 3] = 0x00;
    }
    return a;
}

bool RunningAsRoot() { return ::geteuid() == 0; }

UnprivilegedRun RunCurrentTestUnprivileged() {
    UnprivilegedRun run;
    if (!HaveTool("setpriv")) {
        run.Skipped = true;
        run.Output = "running as root and setpriv (util-linux) is not installed";
        return run;
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const CommandResult result =
        RunCommand("setpriv --reuid=65534 --regid=65534 --clear-groups " + ShellQuote(self.string()) +
                   " --gtest_filter=" + ShellQuote(filter));
    run.Output = result.Output;
    if (ec || result.ExitCode == 126 || result.ExitCode == 127) {
        run.Skipped = true;
        run.Output = "the test program cannot be run as user 65534 here: " + result.Output;
        return run;
    }
    run.Passed = result.ExitCode == 0 && result.Output.find("[  PASSED  ] 1 test") != std::string::npos;
    return run;
}

}  // namespace covrilo::test
