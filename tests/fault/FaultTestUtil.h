// SPDX-License-Identifier: MIT
// Running the built covrilo-cli from the fault and concurrency tests: in its own process, with
// extra environment (the fault shim), started and waited for separately so that two runs
// can go at once; and the files those tests tag.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/CoverImage.h"
#include "demo/DemoMp3.h"
#include "id3v1/ID3v1.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace covrilo::test {

inline constexpr const char* kCli = kCovriloCli;
#ifdef COVRILO_FAULT_SHIM
inline constexpr const char* kShim = COVRILO_FAULT_SHIM;
#else
inline constexpr const char* kShim = "";
#endif

// The environment that runs covrilo-cli under the fault shim, for the files under Dir, with
// the shim's other settings (COVRILO_FAULT_CALLS, _AT, _MODE, _ERRNO, _LOG) added.
inline std::map<std::string, std::string> ShimEnv(const std::filesystem::path& Dir,
                                                  std::map<std::string, std::string> Settings) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    Settings["LD_PRELOAD"] = kShim;
    Settings["ASAN_OPTIONS"] = std::string(asan ? asan : "") + ":verify_asan_link_order=0:detect_leaks=0";
    Settings["COVRILO_FAULT_DIR"] = Dir.string();
    return Settings;
}
using TCliResult = CliRun;

// A covrilo-cli process that runs while the caller does other things.
class TCliProcess {
   public:
    // Prefix runs covrilo-cli through another program (setpriv ... to drop to another user).
    TCliProcess(const std::vector<std::string>& Args, const std::map<std::string, std::string>& Env,
                const std::filesystem::path& Scratch, const std::vector<std::string>& Prefix = {})
        : out_(Scratch.string() + ".out"), err_(Scratch.string() + ".err") {
        pid_ = ::fork();
        if (pid_ != 0) return;
        const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        for (const auto& [name, value] : Env) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& p : Prefix) argv.push_back(const_cast<char*>(p.c_str()));
        argv.push_back(const_cast<char*>(kCli));
        for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    TCliResult Wait() {
        int status = 0, exitCode = -1, signal = 0;
        if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_) {
            if (WIFEXITED(status)) exitCode = WEXITSTATUS(status);
            if (WIFSIGNALED(status)) signal = WTERMSIG(status);
        }
        TCliResult r = ParseCliRun(exitCode, ReadFileText(out_), ReadFileText(err_));
        r.Signal = signal;
        std::filesystem::remove(out_);
        std::filesystem::remove(err_);
        return r;
    }

   private:
    pid_t pid_ = -1;
    std::filesystem::path out_, err_;
};

inline TCliResult RunCovriloCli(const std::vector<std::string>& Args,
                                const std::map<std::string, std::string>& Env,
                                const std::filesystem::path& Scratch,
                                const std::vector<std::string>& Prefix = {}) {
    return TCliProcess(Args, Env, Scratch, Prefix).Wait();
}

// How to run covrilo-cli as user and group 65534: through setpriv when we are root, as we
// are otherwise; nothing when that cannot be done here (no setpriv, or the program lies
// in a folder that user may not enter).
inline std::optional<std::vector<std::string>> AsUnprivileged() {
    if (::geteuid() != 0) return std::vector<std::string>{};
    const char* setpriv = "/usr/bin/setpriv";
    if (::access(setpriv, X_OK) != 0) return std::nullopt;
    std::vector<std::string> prefix = {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
    TempDir dir;
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
    if (TCliProcess({"--version"}, {}, dir / "probe", prefix).Wait().ExitCode != 0) return std::nullopt;
    return prefix;
}

inline Bytes Concat(std::initializer_list<Bytes> Parts) {
    Bytes out;
    for (const Bytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// ID3v2.3 frame and tag bytes, written by hand so that the files do not depend on our writer.
inline Bytes Frame23(const std::string& Id, const Bytes& Content) {
    Bytes f(Id.begin(), Id.end());
    const auto n = static_cast<uint32_t>(Content.size());
    f.insert(f.end(), {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                       static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n), 0, 0});
    f.insert(f.end(), Content.begin(), Content.end());
    return f;
}
inline Bytes Text23(const std::string& Id, const std::string& Text) {
    Bytes c{0};
    c.insert(c.end(), Text.begin(), Text.end());
    return Frame23(Id, c);
}
inline Bytes Apic23(uint8_t Type, const Bytes& Picture) {
    Bytes c{0};
    const std::string mime = "image/jpeg";
    c.insert(c.end(), mime.begin(), mime.end());
    c.insert(c.end(), {0, Type, 0});
    c.insert(c.end(), Picture.begin(), Picture.end());
    return Frame23("APIC", c);
}
inline Bytes Tag23(const std::vector<Bytes>& Frames, uint32_t Padding) {
    Bytes body;
    for (const Bytes& f : Frames) body.insert(body.end(), f.begin(), f.end());
    body.resize(body.size() + Padding, 0);
    const auto n = static_cast<uint32_t>(body.size());
    Bytes tag = {'I',
                 'D',
                 '3',
                 3,
                 0,
                 0,
                 static_cast<uint8_t>((n >> 21) & 0x7F),
                 static_cast<uint8_t>((n >> 14) & 0x7F),
                 static_cast<uint8_t>((n >> 7) & 0x7F),
                 static_cast<uint8_t>(n & 0x7F)};
    tag.insert(tag.end(), body.begin(), body.end());
    return tag;
}
inline Bytes Audio(uint32_t Frames) { return demo::MakeSilentMpegAudio(Frames); }
inline Bytes Id3v1Record(const std::string& Title, const std::string& Artist) {
    TID3v1 v1;
    v1.SetTitle(Title);
    v1.SetArtist(Artist);
    v1.SetYear("2001");
    v1.Genre = 17;
    const auto r = v1.BuildRecord();
    return Bytes(r.begin(), r.end());
}
// A Lyrics3 v2.00 block with lyrics and a (short) extended title, then the ID3v1 record.
inline Bytes Lyrics3AndRecord(const std::string& Title, const std::string& Artist,
                              const std::string& Lyrics) {
    TID3v1 v1;
    v1.SetTitle(Title);
    v1.SetArtist(Artist);
    v1.SetYear("2001");
    v1.Genre = 17;
    v1.Lyrics = Lyrics;
    return v1.BuildTail(true);
}
// A JPEG picture of the given size made by our encoder (the run decodes the cover).
inline Bytes Jpeg(int Width, int Height, uint8_t Shade) {
    TRgbImage image{Width, Height, std::vector<uint8_t>(static_cast<size_t>(Width * Height * 3))};
    for (size_t i = 0; i < image.Pixels.size(); ++i) image.Pixels[i] = static_cast<uint8_t>(i * 7 + Shade);
    return EncodeJpeg(image, 90);
}

// The names in Dir that a save of ours leaves while it runs.
inline std::vector<std::string> OurLeftovers(const std::filesystem::path& Dir) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(Dir))
        if (e.path().filename().string().find(".covrilo-") != std::string::npos)
            found.push_back(e.path().filename().string());
    return found;
}

}  // namespace covrilo::test
