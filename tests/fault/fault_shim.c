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

static const char* Env(const char* Name) {
    const char* v = getenv(Name);
    return v != NULL ? v : "";
}

static int Counted(const char* Call) {
    const char* list = *Env("COVRILO_FAULT_CALLS") ? Env("COVRILO_FAULT_CALLS") : kDefaultCalls;
    const size_t n = strlen(Call);
    for (const char* p = list; *p;) {
        const char* end = strchr(p, ',');
        const size_t len = end ? (size_t)(end - p) : strlen(p);
        if (len == n && strncmp(p, Call, n) == 0) return 1;
        if (!end) break;
        p = end + 1;
    }
    return 0;
}

static int InDir(const char* Path) {
    const char* dir = Env("COVRILO_FAULT_DIR");
    const size_t n = strlen(dir);
    return n > 0 && strncmp(Path, dir, n) == 0 && (Path[n] == '/' || Path[n] == '\0');
}

static void FdPath(int Fd, char* Out, size_t Size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", Fd);
    const ssize_t n = readlink(link, Out, Size - 1);
    Out[n > 0 ? (size_t)n : 0] = '\0';
}

static void AtPath(int Dirfd, const char* Path, char* Out, size_t Size) {
    if (Path[0] == '/' || Dirfd == AT_FDCWD) {
        if (Path[0] == '/') {
            snprintf(Out, Size, "%s", Path);
        } else {
            char cwd[PATH_MAX];
            if (getcwd(cwd, sizeof cwd) == NULL) cwd[0] = '\0';
            snprintf(Out, Size, "%s/%s", cwd, Path);
        }
        return;
    }
    char dir[PATH_MAX];
    FdPath(Dirfd, dir, sizeof dir);
    snprintf(Out, Size, "%s/%s", dir, Path);
}

static void Log(int N, const char* Call, const char* Path) {
    const char* file = Env("COVRILO_FAULT_LOG");
    if (!*file) return;
    const int fd = (int)syscall(SYS_openat, AT_FDCWD, file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    char line[PATH_MAX + 64];
    const int len = snprintf(line, sizeof line, "%d %s %s\n", N, Call, Path);
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
static enum Action Decide(const char* Call, const char* Path) {
    if (!Counted(Call) || !InDir(Path)) return Pass;
    const int n = ++counter;
    Log(n, Call, Path);
    if (failingCall[0] && strcmp(failingCall, Call) == 0) return Fail;
    const int at = atoi(Env("COVRILO_FAULT_AT"));
    if (at <= 0 || n != at) return Pass;
    const char* mode = Env("COVRILO_FAULT_MODE");
    if (strcmp(mode, "kill-before") == 0) kill(getpid(), SIGKILL);
    if (strcmp(mode, "truncate-before") == 0) {
        struct stat st;
        if (stat(Path, &st) == 0) (void)truncate(Path, st.st_size / 2);
        return Pass;
    }
    if (strcmp(mode, "kill-after") == 0) return KillAfter;
    if (strcmp(mode, "always") == 0) snprintf(failingCall, sizeof failingCall, "%s", Call);
    if (strcmp(mode, "short") == 0) return Short;
    return Fail;
}

static enum Action DecideFd(const char* Call, int Fd) {
    char path[PATH_MAX];
    FdPath(Fd, path, sizeof path);
    return Decide(Call, path);
}

// The next definition of a function (libc's, or a sanitizer's in front of it). ISO C has no
// conversion from dlsym's object pointer to a function pointer, so it goes through memory.
static void** NextSlot(const char* Name) {
    static __thread void* slot;
    slot = dlsym(RTLD_NEXT, Name);
    return &slot;
}
#define REAL(name) (*(__typeof__(&name)*)NextSlot(#name))
#define FAIL_WITH(value)      \
    do {                      \
        errno = FaultErrno(); \
        return value;         \
    } while (0)
#define AFTER(result)                                     \
    do {                                                  \
        __typeof__(result) r_ = (result);                 \
        if (action == KillAfter) kill(getpid(), SIGKILL); \
        return r_;                                        \
    } while (0)

// A data call done by half: the caller must go on with the rest itself.
#define SHORTEN(count) ((count) > 1 ? (count) / 2 : (count))

ssize_t write(int Fd, const void* Buf, size_t Count) {
    const enum Action action = DecideFd("write", Fd);
    if (action == Fail || (action == Short && Count <= 1)) FAIL_WITH(-1);
    AFTER(REAL(write)(Fd, Buf, action == Short ? SHORTEN(Count) : Count));
}

static ssize_t Pwrite(const char* Call, int Fd, const void* Buf, size_t Count, off_t Offset) {
    const enum Action action = DecideFd(Call, Fd);
    if (action == Fail || (action == Short && Count <= 1)) FAIL_WITH(-1);
    AFTER(REAL(pwrite64)(Fd, Buf, action == Short ? SHORTEN(Count) : Count, Offset));
}
ssize_t pwrite(int Fd, const void* Buf, size_t Count, off_t Offset) {
    return Pwrite("pwrite", Fd, Buf, Count, Offset);
}
ssize_t pwrite64(int Fd, const void* Buf, size_t Count, off_t Offset) {
    return Pwrite("pwrite", Fd, Buf, Count, Offset);
}

ssize_t read(int Fd, void* Buf, size_t Count) {
    const enum Action action = DecideFd("read", Fd);
    if (action == Fail || (action == Short && Count <= 1)) FAIL_WITH(-1);
    AFTER(REAL(read)(Fd, Buf, action == Short ? SHORTEN(Count) : Count));
}

static ssize_t Pread(int Fd, void* Buf, size_t Count, off_t Offset) {
    const enum Action action = DecideFd("pread", Fd);
    if (action == Fail || (action == Short && Count <= 1)) FAIL_WITH(-1);
    AFTER(REAL(pread64)(Fd, Buf, action == Short ? SHORTEN(Count) : Count, Offset));
}
ssize_t pread(int Fd, void* Buf, size_t Count, off_t Offset) { return Pread(Fd, Buf, Count, Offset); }
ssize_t pread64(int Fd, void* Buf, size_t Count, off_t Offset) { return Pread(Fd, Buf, Count, Offset); }

int fsync(int Fd) {
    const enum Action action = DecideFd("fsync", Fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(fsync)(Fd));
}

// Only counted (and failed) when named in COVRILO_FAULT_CALLS; mappings of no file pass.
void* mmap(void* Addr, size_t Length, int Prot, int Flags, int Fd, off_t Offset) {
    if (Fd >= 0 && !(Flags & MAP_ANONYMOUS)) {
        const enum Action action = DecideFd("mmap", Fd);
        if (action == Fail || action == Short) FAIL_WITH(MAP_FAILED);
        AFTER(REAL(mmap)(Addr, Length, Prot, Flags, Fd, Offset));
    }
    return REAL(mmap)(Addr, Length, Prot, Flags, Fd, Offset);
}

int syncfs(int Fd) {
    const enum Action action = DecideFd("syncfs", Fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(syncfs)(Fd));
}

int sync_file_range(int Fd, off_t Offset, off_t Nbytes, unsigned int Flags) {
    const enum Action action = DecideFd("sync_file_range", Fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(sync_file_range)(Fd, Offset, Nbytes, Flags));
}

int fdatasync(int Fd) {
    const enum Action action = DecideFd("fdatasync", Fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(fdatasync)(Fd));
}

static int Ftruncate(int Fd, off_t Length) {
    const enum Action action = DecideFd("ftruncate", Fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(ftruncate64)(Fd, Length));
}
int ftruncate(int Fd, off_t Length) { return Ftruncate(Fd, Length); }
int ftruncate64(int Fd, off_t Length) { return Ftruncate(Fd, Length); }

static int Fallocate(int Fd, int Mode, off_t Offset, off_t Len) {
    const enum Action action = DecideFd("fallocate", Fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(fallocate64)(Fd, Mode, Offset, Len));
}
int fallocate(int Fd, int Mode, off_t Offset, off_t Len) { return Fallocate(Fd, Mode, Offset, Len); }
int fallocate64(int Fd, int Mode, off_t Offset, off_t Len) { return Fallocate(Fd, Mode, Offset, Len); }

ssize_t copy_file_range(int In, off_t* InOff, int Out, off_t* OutOff, size_t Len, unsigned Flags) {
    const enum Action action = DecideFd("copy_file_range", Out);
    if (action == Fail || (action == Short && Len <= 1)) FAIL_WITH(-1);
    AFTER(REAL(copy_file_range)(In, InOff, Out, OutOff, action == Short ? SHORTEN(Len) : Len, Flags));
}

int fchmod(int Fd, mode_t Mode) {
    const enum Action action = DecideFd("fchmod", Fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(fchmod)(Fd, Mode));
}

int fchown(int Fd, uid_t Owner, gid_t Group) {
    const enum Action action = DecideFd("fchown", Fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(fchown)(Fd, Owner, Group));
}

int close(int Fd) {
    const enum Action action = DecideFd("close", Fd);
    if (action == Fail || action == Short) {
        // A failed close still releases the descriptor (as Linux does).
        REAL(close)(Fd);
        FAIL_WITH(-1);
    }
    AFTER(REAL(close)(Fd));
}

int flock(int Fd, int Operation) {
    const enum Action action = DecideFd("flock", Fd);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(flock)(Fd, Operation));
}

int rename(const char* From, const char* To) {
    char path[PATH_MAX];
    AtPath(AT_FDCWD, To, path, sizeof path);
    const enum Action action = Decide("rename", path);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(rename)(From, To));
}

int renameat(int FromDir, const char* From, int ToDir, const char* To) {
    char path[PATH_MAX];
    AtPath(ToDir, To, path, sizeof path);
    const enum Action action = Decide("renameat", path);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(renameat)(FromDir, From, ToDir, To));
}

int renameat2(int FromDir, const char* From, int ToDir, const char* To, unsigned Flags) {
    char path[PATH_MAX];
    AtPath(ToDir, To, path, sizeof path);
    const enum Action action = Decide("renameat2", path);
    if (action == Fail || action == Short) FAIL_WITH(-1);
    AFTER(REAL(renameat2)(FromDir, From, ToDir, To, Flags));
}
