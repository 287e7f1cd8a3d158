// SPDX-License-Identifier: MIT
#include "app/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "io/UnicodeFileUtils.h"

namespace covrilo {

namespace {

[[noreturn]] void ThrowErrno(int Error, const std::filesystem::path& File) {
    throw std::system_error(Error, std::generic_category(), "Cannot write file " + File.string());
}

}  // namespace

void WriteFileReplacing(const std::filesystem::path& Target, std::string_view Data) {
    const std::filesystem::path real = ResolveRewriteTarget(Target);
    std::string tempName = real.string() + ".XXXXXX";
    const int fd = ::mkstemp(tempName.data());
    if (fd < 0) ThrowErrno(errno, real);

    // A new file gets the usual 0666 & ~umask (mkstemp makes 0600); an existing file's
    // bits are copied over by the replace below.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    size_t done = 0;
    while (done < Data.size()) {
        const ssize_t n = ::write(fd, Data.data() + done, Data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(tempName.c_str());
            ThrowErrno(error, real);
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(tempName.c_str());
        ThrowErrno(error, real);
    }
    if (!ReplaceFileAtomically(tempName, real)) ThrowErrno(errno != 0 ? errno : EIO, real);
}

}  // namespace covrilo
