// SPDX-License-Identifier: MIT
// Fault injection for the save tests, preloaded into covrilo-cli (LD_PRELOAD). It counts the
// calls that touch files under $COVRILO_FAULT_DIR and lets the n-th of them fail or kill the
// process, or has another program cut the file short just before it:
//   COVRILO_FAULT_CALLS  comma list of the calls to count (default: every call below but the reads)
//   COVRILO_FAULT_AT     n, 1-based (0 or unset: no fault, only counting)
//   COVRILO_FAULT_MODE   once | always (call n and every later one of the same name) |
//                        short (a data call does half its work; others fail once) |
//                        kill-before | kill-after (SIGKILL around call n) |
//                        truncate-before (the file is cut to half its size before call n)
//   COVRILO_FAULT_ERRNO  EIO | ENOSPC (or a number)
//   COVRILO_FAULT_LOG    a file that gets one line "n call path" per counted call
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

static const char* const kDefaultCalls =
    "write,pwrite,fsync,fdatasync,rename,renameat,renameat2,ftruncate,fallocate,copy_file_range,"
    "fchmod,fchown,close,flock,syncfs,sync_file_range";

static int counter;
static char failingCall[32];  // "always": the name that keeps failing

static const char* Env(const char* name) {
    const char* v = getenv(name);
    return v != NULL ? v : "";
}

static int Counted(const char* call) {
    const char* list = *Env("COVRILO_FAULT_CALLS") ? Env("COVRILO_FAULT_CALLS") : kDefaultCalls;
    const size_t n = strlen(call);
    for (const char* p = list; *p;) {
        const char* end = strchr(p, ',');
        const size_t len = end ? (size_t)(end - p) : strlen(p);
        if (len == n && strncmp(p, call, n) == 0) return 1;
        if (!end) break;
        p = end + 1;
    }
    return 0;
}

static int InDir(const char* path) {
    const char* dir = Env("COVRILO_FAULT_DIR");
    const size_t n = strlen(dir);
    return n > 0 && strncmp(path, dir, n) == 0 && (path[n] == '/' || path[n] == '\0');
}

static void FdPath(int fd, char* out, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, out, size - 1);
    out[n > 0 ? (size_t)n : 0] = '\0';
}

static void AtPath(int dirfd, const char* path, char* out, size_t size) {
    if (path[0] == '/' || dirfd == AT_FDCWD) {
        if (path[0] == '/') {
            snprintf(out, size, "%s", path);
        } else {
            char cwd[PATH_MAX];
            if (getcwd(cwd, sizeof cwd) == NULL) cwd[0] = '\0';
            snprintf(out, size, "%s/%s", cwd, path);
        }
        return;
    }
    char dir[PATH_MAX];
    FdPath(dirfd, dir, sizeof dir);
    snprintf(out, size, "%s/%s", dir, path);
}

static void Log(int n, const char* call, const char* path) {
    const char* file = Env("COVRILO_FAULT_LOG");
    if (!*file) return;
    const int fd = (int)syscall(SYS_openat, AT_FDCWD, file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    char line[PATH_MAX + 64];
    const int len = snprintf(line, sizeof line, "%d %s %s\n", n, call, path);
    if (len > 0) (void)syscall(SYS_write, fd, line, (size_t)len);
    syscall(SYS_close, fd);
}

static int FaultErrno(void) {
    const char* e = Env("COVRILO_FAULT_ERRNO");
    if (strcmp(e, "ENOSPC") == 0) return ENOSPC;
    if (strcmp(e, "EIO") == 0 || !*e) return EIO;
    return atoi(e);
}

enum Action { Pass, Fail, Short, KillAfter };

// What to do with this call; kills at once for kill-before.
static enum Action Decide(const char* call, const char* path) {
    if (!Counted(call) || !InDir(path)) return Pass;
    const int n = ++counter;
    Log(n, call, path);
    if (failingCall[0] && strcmp(failingCall, call) == 0) return Fail;
    const int at = atoi(Env("COVRILO_FAULT_AT"));
    if (at <= 0 || n != at) return Pass;
    const char* mode = Env("COVRILO_FAULT_MODE");
    if (strcmp(mode, "kill-before") == 0) kill(getpid(), SIGKILL);
    if (strcmp(mode, "truncate-before") == 0) {
        struct stat st;
        if (stat(path, &st) == 0) (void)truncate(path, st.st_size / 2);
        return Pass;
    }
    if (strcmp(mode, "kill-after") == 0) return KillAfter;
    if (strcmp(mode, "always") == 0) snprintf(failingCall, sizeof failingCall, "%s", call);
    if (strcmp(mode, "short") == 0) return Short;
    return Fail;
}

static enum Action DecideFd(const char* call, int fd) {
    char path[PATH_MAX];
    FdPath(fd, path, sizeof path);
    return Decide(call, path);
}

// The next definition of a function (libc's, or a sanitizer's in front of it). ISO C has no
// conversion from dlsym's object pointer to a function pointer, so it goes through memory.
static void** NextSlot(const char* name) {
    static __thread void* slot;
    slot = dlsym(RTLD_NEXT, name);
    return &slot;
}
#define REAL(name) (*(__typeof__(&name)*)NextSlot(#name))
#define FAIL_WITH(value) \
    do {                 \
        errno = FaultErrno(); \
        return value;    \
    } while (0)
#define AFTER(result)                                          \
    do {                                                       \
        __typeof__(result) r_ = (result);                      \
        if (action == KillAfter) kill(getpid(), SIGKILL);      \
        return r_;                                             \
    } while (0)

// A data call done by half: the caller must go on with the rest itself.
#define SHORTEN(count) ((count) > 1 ? (count) / 2 : (count))

ssize_t write(int fd, const void* buf, size_t count) {
    const enum Action action = DecideFd("write", fd);
    if (action == Fail || (action == Short && count <= 1)) FAIL_WITH(-1);
    AFTER(REAL(write)(fd, buf, action == Short ? SHORTEN(count) : count));
}

static ssize_t Pwrite(const char* call, int fd, const void* buf, size_t count, off_t offset) {
    const enum Action action = DecideFd(call, fd);
    if (action == Fail || (action == Short && count <= 1)) FAIL_WITH(-1);
    AFTER(REAL(pwrite64)(fd, buf, action == Short ? SHORTEN(count) : count, offset));
}
ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) { return Pwrite("pwrite", fd, buf, count, offset); }
ssize_t pwrite64(int fd, const void* buf, size_t count, off_t offset) { return Pwrite("pwrite", fd, buf, count, offset); }

ssize_t read(int fd, void* buf, size_t count) {
    const enum Action action = DecideFd("read", fd);
    if (action == Fail || (action == Short && count <= 1)) FAIL_WITH(-1);
    AFTER(REAL(read)(fd, buf, action == Short ? SHORTEN(count) : count));
}

static ssize_t Pread(int fd, void* buf, size_t count, off_t offset) {
    const enum Action action = DecideFd("pread", fd);
    if (action == Fail || (action == Short && count <= 1)) FAIL_WITH(-1);
    AFTER(REAL(pread64)(fd, buf, action == Short ? SHORTEN(count) : count, offset));
}
ssize_t pread(int fd, void* buf, size_t count, off_t offset) { return Pread(fd, buf, count, offset); }
ssize_t pread64(int fd, void* buf, size_t count, off_t offset) { return Pread(fd, buf, count, offset); }

int fsync(int fd) {
    const enum Action action = DecideFd("fsync", fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(fsync)(fd));
}

// Only counted (and failed) when named in COVRILO_FAULT_CALLS; mappings of no file pass.
void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    if (fd >= 0 && !(flags & MAP_ANONYMOUS)) {
        const enum Action action = DecideFd("mmap", fd);
        if (action == Fail || action == Short) FAIL_WITH(MAP_FAILED);
        AFTER(REAL(mmap)(addr, length, prot, flags, fd, offset));
    }
    return REAL(mmap)(addr, length, prot, flags, fd, offset);
}

int syncfs(int fd) {
    const enum Action action = DecideFd("syncfs", fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(syncfs)(fd));
}

int sync_file_range(int fd, off_t offset, off_t nbytes, unsigned int flags) {
    const enum Action action = DecideFd("sync_file_range", fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(sync_file_range)(fd, offset, nbytes, flags));
}

int fdatasync(int fd) {
    const enum Action action = DecideFd("fdatasync", fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(fdatasync)(fd));
}

static int Ftruncate(int fd, off_t length) {
    const enum Action action = DecideFd("ftruncate", fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(ftruncate64)(fd, length));
}
int ftruncate(int fd, off_t length) { return Ftruncate(fd, length); }
int ftruncate64(int fd, off_t length) { return Ftruncate(fd, length); }

static int Fallocate(int fd, int mode, off_t offset, off_t len) {
    const enum Action action = DecideFd("fallocate", fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(fallocate64)(fd, mode, offset, len));
}
int fallocate(int fd, int mode, off_t offset, off_t len) { return Fallocate(fd, mode, offset, len); }
int fallocate64(int fd, int mode, off_t offset, off_t len) { return Fallocate(fd, mode, offset, len); }

ssize_t copy_file_range(int in, off_t* inOff, int out, off_t* outOff, size_t len, unsigned flags) {
    const enum Action action = DecideFd("copy_file_range", out);
    if (action == Fail || (action == Short && len <= 1)) FAIL_WITH(-1);
    AFTER(REAL(copy_file_range)(in, inOff, out, outOff, action == Short ? SHORTEN(len) : len, flags));
}

int fchmod(int fd, mode_t mode) {
    const enum Action action = DecideFd("fchmod", fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(fchmod)(fd, mode));
}

int fchown(int fd, uid_t owner, gid_t group) {
    const enum Action action = DecideFd("fchown", fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(fchown)(fd, owner, group));
}

int close(int fd) {
    const enum Action action = DecideFd("close", fd);
    if (action == Fail || action == Short) {
        // A failed close still releases the descriptor (as Linux does).
        REAL(close)(fd);
        FAIL_WITH(-1);
    }
    AFTER(REAL(close)(fd));
}

int flock(int fd, int operation) {
    const enum Action action = DecideFd("flock", fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(flock)(fd, operation));
}

int rename(const char* from, const char* to) {
    char path[PATH_MAX];
    AtPath(AT_FDCWD, to, path, sizeof path);
    const enum Action action = Decide("rename", path);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(rename)(from, to));
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    char path[PATH_MAX];
    AtPath(toDir, to, path, sizeof path);
    const enum Action action = Decide("renameat", path);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(renameat)(fromDir, from, toDir, to));
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    char path[PATH_MAX];
    AtPath(toDir, to, path, sizeof path);
    const enum Action action = Decide("renameat2", path);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(renameat2)(fromDir, from, toDir, to, flags));
}
