// SPDX-License-Identifier: MIT
#include "app/AtomicFile.h"

#include "io/UnicodeFileUtils.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace covrilo {

namespace {

[[noreturn]] void ThrowErrno(int Error, const std::filesystem::path& File) {
    throw std::system_error(Error, std::generic_category(), "Cannot write file " + File.string());
}

}  // namespace

void WriteFileReplacing(const std::filesystem::path& Target, std::string_view Data) {
    const std::filesystem::path Real = ResolveRewriteTarget(Target);
    std::string TempName = Real.string() + ".XXXXXX";
    const int Fd = ::mkstemp(TempName.data());
    if (Fd < 0) ThrowErrno(errno, Real);

    // A new file gets the usual 0666 & ~umask (mkstemp makes 0600); an existing file's
    // bits are copied over by the replace below.
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    ::fchmod(Fd, 0666 & ~Mask);

    size_t Done = 0;
    while (Done < Data.size()) {
        const ssize_t N = ::write(Fd, Data.data() + Done, Data.size() - Done);
        if (N < 0 && errno == EINTR) continue;
        if (N < 0) {
            const int Error = errno;
            ::close(Fd);
            ::unlink(TempName.c_str());
            ThrowErrno(Error, Real);
        }
        Done += static_cast<size_t>(N);
    }
    if (::close(Fd) != 0) {
        const int Error = errno;
        ::unlink(TempName.c_str());
        ThrowErrno(Error, Real);
    }
    if (!ReplaceFileAtomically(TempName, Real)) ThrowErrno(errno != 0 ? errno : EIO, Real);
}

}  // namespace covrilo
