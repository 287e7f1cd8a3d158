// SPDX-License-Identifier: MIT
#include "app/FileTimes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace covrilo {

namespace {

class TFd {
   public:
    explicit TFd(int Fd) : fd_(Fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }

   private:
    int fd_;
};

[[noreturn]] void CannotRestore(const std::filesystem::path& Name, const std::string& Why) {
    const std::string reason = "it was saved, but its times could not be restored (" + Why + ")";
    throw EFWriteError("Cannot restore the times of " + Name.string() + ": " + Why, reason);
}

}  // namespace

TFileTimes ReadFileTimes(const std::filesystem::path& Name) {
    struct stat st {};
    if (::stat(Name.c_str(), &st) != 0)
        throw EFOpenError("Cannot open file " + Name.string() + ": " + FileErrorReason(errno),
                          FileErrorReason(errno));
    return {st.st_atim, st.st_mtim};
}

void RestoreFileTimes(const std::filesystem::path& Name, const TFileTimes& Times,
                      const TFileIdentity& Saved) {
    const TFd fd(::open(Name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0) CannotRestore(Name, FileErrorReason(errno));
    // Under the lock a save takes, and only on the content the save left: a program that
    // wrote the file since keeps the times of its change.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) CannotRestore(Name, FileErrorReason(errno));
    const TFileIdentity now = IdentityOf(fd.Get(), Name);
    if (!now.SameFile(Saved) || now.Size != Saved.Size || now.ModifiedNs != Saved.ModifiedNs)
        CannotRestore(Name, "another program changed it after it was saved");
    const timespec times[2] = {Times.Access, Times.Modification};
    if (::futimens(fd.Get(), times) != 0) {
        const int err = errno;
        CannotRestore(Name, err == EPERM ? "only its owner may set them" : FileErrorReason(err));
    }
    if (::fsync(fd.Get()) != 0) CannotRestore(Name, FileErrorReason(errno));
}

}  // namespace covrilo
