// SPDX-License-Identifier: MIT
#include "io/UnicodeFileUtils.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "io/EnhancedStreams.h"

namespace covrilo {

namespace {

// Sharing is emulated with advisory flock locks, which conflict between separate opens
// even within one process: write access or exclusive sharing takes an exclusive lock,
// reading that denies writers a shared lock, "deny none" no lock at all.
int LockFor(uint16_t Mode) {
    if (Mode == fmCreate) return LOCK_EX;
    int access = Mode & 0x3;
    int share = Mode & 0xF0;
    if (access != 0) return LOCK_EX;
    switch (share) {
        case fmShareDenyNone:
            return 0;
        case fmShareDenyWrite:
            return LOCK_SH;
        default:
            return LOCK_EX;  // compatible, exclusive, deny read
    }
}

// Closes Fd and answers INVALID_HANDLE_VALUE with errno set to Error, so that the caller can
// say why the open failed.
int FailWith(int Fd, int Error) {
    ::close(Fd);
    errno = Error;
    return INVALID_HANDLE_VALUE;
}

int OpenAndLock(const std::filesystem::path& Name, int Flags, int Lock) {
    int fd = ::open(Name.c_str(), Flags | O_CLOEXEC, 0666);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return FailWith(fd, errno);
    if (S_ISDIR(st.st_mode)) return FailWith(fd, EISDIR);
    if (Lock != 0) {
        int rc;
        do {
            rc = ::flock(fd, Lock | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) return FailWith(fd, errno);
    }
    return fd;
}

}  // namespace

int UnicodeFileCreate(const std::filesystem::path& Name) {
    // Lock before truncating, so a file another program holds is never emptied under it.
    int fd = OpenAndLock(Name, O_RDWR | O_CREAT, LOCK_EX);
    if (fd == INVALID_HANDLE_VALUE) return fd;
    if (::ftruncate(fd, 0) != 0) return FailWith(fd, errno);
    return fd;
}

int UnicodeFileOpen(const std::filesystem::path& Name, uint16_t Mode) {
    int flags = O_RDONLY;
    switch (Mode & 0x3) {
        case 1:
            flags = O_WRONLY;
            break;
        case 2:
            flags = O_RDWR;
            break;
        default:
            break;
    }
    return OpenAndLock(Name, flags, LockFor(Mode));
}

bool UnicodeFileExists(const std::filesystem::path& Name) {
    struct stat st {};
    return ::stat(Name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool UnicodeDeleteFile(const std::filesystem::path& Name) { return ::unlink(Name.c_str()) == 0; }

bool UnicodeRenameFile(const std::filesystem::path& OldName, const std::filesystem::path& NewName) {
    return ::rename(OldName.c_str(), NewName.c_str()) == 0;
}

std::filesystem::path UnicodeChangeFileExt(const std::filesystem::path& Name, const std::string& Ext) {
    // Only a full stop after the last separator starts an extension.
    const std::string& text = Name.native();
    size_t dot = text.find_last_of("./");
    if (dot != std::string::npos && text[dot] == '.') return text.substr(0, dot) + Ext;
    return text + Ext;
}

std::filesystem::path ResolveRewriteTarget(const std::filesystem::path& Name) {
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::canonical(Name, ec);
    return ec ? Name : resolved;
}

bool ReplaceFileAtomically(const std::filesystem::path& TempName, const std::filesystem::path& Target) {
    bool ok = true;
    struct stat st {};
    int fd = ::open(TempName.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) ok = false;
    if (ok && ::stat(Target.c_str(), &st) == 0) {
        // Keep the user's permission bits and, where we may, the group.
        if (::fchmod(fd, st.st_mode & 07777) != 0) ok = false;
        if (ok && ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) { /* not ours to change */
        }
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (fd >= 0) ::close(fd);
    if (ok && ::rename(TempName.c_str(), Target.c_str()) != 0) ok = false;
    if (ok) {
        // Make the rename itself durable; a rename that may not survive a crash is no success.
        std::filesystem::path dir = Target.parent_path();
        int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd < 0) return false;
        const int rc = ::fsync(dfd);
        const int err = errno;
        ::close(dfd);
        errno = err;
        return rc == 0;
    }
    ::unlink(TempName.c_str());
    return false;
}

}  // namespace covrilo
