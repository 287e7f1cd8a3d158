// SPDX-License-Identifier: MIT
#include "app/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace covrilo {

namespace {

[[noreturn]] void ThrowErrno(int Error, const std::string& What) {
    throw std::system_error(Error, std::generic_category(), What);
}

// Closes the descriptor and removes the unfinished temporary file unless released.
class TTempFileGuard {
public:
    TTempFileGuard(int Fd, std::filesystem::path Name) : fd_(Fd), name_(std::move(Name)) {}
    ~TTempFileGuard() {
        if (fd_ >= 0) ::close(fd_);
        if (!released_) ::unlink(name_.c_str());
    }
    TTempFileGuard(const TTempFileGuard&) = delete;
    TTempFileGuard& operator=(const TTempFileGuard&) = delete;
    int CloseFd() {
        const int Result = ::close(fd_);
        fd_ = -1;
        return Result;
    }
    void Release() { released_ = true; }

private:
    int fd_;
    std::filesystem::path name_;
    bool released_ = false;
};

}  // namespace

void WriteFileReplacing(const std::filesystem::path& Target, std::string_view Data) {
    std::filesystem::path Real = Target;
    std::error_code Ec;
    if (std::filesystem::is_symlink(Target, Ec)) {
        const auto Resolved = std::filesystem::weakly_canonical(Target, Ec);
        if (!Ec) Real = Resolved;
    }
    std::string Pattern = Real.string() + ".XXXXXX";
    const int Fd = ::mkstemp(Pattern.data());
    if (Fd < 0) ThrowErrno(errno, "Cannot create file " + Real.string());
    TTempFileGuard Guard(Fd, Pattern);

    // Keep the permissions of the file being replaced; a new file gets the usual 0666 & ~umask.
    struct stat Old {};
    if (::stat(Real.c_str(), &Old) == 0) {
        ::fchmod(Fd, Old.st_mode & 07777);
    } else {
        const mode_t Mask = ::umask(0);
        ::umask(Mask);
        ::fchmod(Fd, 0666 & ~Mask);
    }

    size_t Done = 0;
    while (Done < Data.size()) {
        const ssize_t N = ::write(Fd, Data.data() + Done, Data.size() - Done);
        if (N < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno, "Cannot write file " + Real.string());
        }
        Done += static_cast<size_t>(N);
    }
    if (::fsync(Fd) != 0) ThrowErrno(errno, "Cannot write file " + Real.string());
    if (Guard.CloseFd() != 0) ThrowErrno(errno, "Cannot write file " + Real.string());
    if (::rename(Pattern.c_str(), Real.c_str()) != 0) ThrowErrno(errno, "Cannot write file " + Real.string());
    Guard.Release();
}

}  // namespace covrilo
