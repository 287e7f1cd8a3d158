// SPDX-License-Identifier: MIT
#include "io/FileTransaction.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <random>
#include <stdexcept>

#include "io/FileSystems.h"
#include "io/SaveBatch.h"
#include "io/SaveJournal.h"
#include "io/UnicodeFileUtils.h"

namespace covrilo {

namespace {

constexpr const char* kOurMark = ".covrilo-";
constexpr const char* kJournalSuffix = ".covrilo-journal.$$$";
constexpr size_t kRandomLength = 8;
constexpr size_t kNameMax = 255;
// Bytes of the untouched middle of a file that a journal remembers to recognise the file.
constexpr int64_t kProbeLength = 16 * 1024;
constexpr int64_t kCopyChunk = 1 << 20;
constexpr const char* kTemporarySuffixes[] = {".$$$", "~"};
constexpr int kOpenFlags = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// Closes a descriptor on every path; close errors of descriptors that were only read or
// whose data is already synced say nothing about the save.
class TFd {
   public:
    TFd() = default;
    explicit TFd(int Fd) : fd_(Fd) {}
    ~TFd() { Reset(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Hands the descriptor over; it is no longer closed here.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int Fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = Fd;
    }
    // Closes and answers the close's own result (0 or an errno).
    int Close() {
        if (fd_ < 0) return 0;
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0 ? 0 : errno;
    }

   private:
    int fd_ = -1;
};

int LockNoWait(int Fd, int Kind) {
    int rc;
    do {
        rc = ::flock(Fd, Kind | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

// Moves all Size bytes at Offset with Op (pread or pwrite); a short count goes on with the
// rest. 0, an errno, or AtEnd when a call moves nothing.
template <typename TByte, typename TOp>
int TransferAll(TOp Op, int Fd, TByte* Data, int64_t Size, int64_t Offset, int AtEnd) {
    int64_t done = 0;
    while (done < Size) {
        const ssize_t n = Op(Fd, Data + done, static_cast<size_t>(Size - done), Offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return AtEnd;
        done += n;
    }
    return 0;
}

int WriteAllAt(int Fd, const uint8_t* Data, int64_t Size, int64_t Offset) {
    return TransferAll(::pwrite, Fd, Data, Size, Offset, EIO);
}

// ESTALE when the file ends before Size bytes.
int ReadAllAt(int Fd, uint8_t* Data, int64_t Size, int64_t Offset) {
    return TransferAll(::pread, Fd, Data, Size, Offset, ESTALE);
}

int SyncFd(int Fd) {
    int rc;
    do {
        rc = ::fsync(Fd);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

std::string Reason(int Errno) {
    return Errno == ESTALE ? "the file changed while it was saved" : FileErrorReason(Errno);
}

// A name that stays within NAME_MAX: a very long file name is cut and a checksum of the
// whole name keeps it the name of that file alone.
std::string OurPrefix(const std::string& TargetName, size_t Room) {
    if (TargetName.size() + Room <= kNameMax) return TargetName;
    static constexpr char kHex[] = "0123456789abcdef";
    const uint64_t crc = Crc64(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(TargetName.data()), TargetName.size()));
    std::string tag = "#";
    for (int i = 0; i < 8; ++i) tag += kHex[(crc >> (4 * i)) & 0xF];
    return TargetName.substr(0, kNameMax - Room - tag.size()) + tag;
}

std::string TemporaryPrefix(const std::string& TargetName, const std::string& Suffix) {
    const size_t room = std::strlen(kOurMark) + kRandomLength + Suffix.size();
    return OurPrefix(TargetName, room) + kOurMark;
}

bool IsAlnum(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9'); }

std::string RandomPart() {
    static constexpr char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::random_device device;
    std::uniform_int_distribution<size_t> pick(0, sizeof(kAlphabet) - 2);
    std::string part;
    for (size_t i = 0; i < kRandomLength; ++i) part += kAlphabet[pick(device)];
    return part;
}

std::vector<std::string> ListXattrs(int Fd, int& Error) {
    Error = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::flistxattr(Fd, nullptr, 0);
        if (size < 0) {
            // A file system without extended attributes has none to keep.
            if (errno == ENOTSUP || errno == ENOSYS) return {};
            Error = errno;
            return {};
        }
        std::vector<char> buffer(static_cast<size_t>(size));
        const ssize_t got = size == 0 ? 0 : ::flistxattr(Fd, buffer.data(), buffer.size());
        if (got < 0 && errno == ERANGE) continue;  // grew meanwhile
        if (got < 0) {
            Error = errno;
            return {};
        }
        std::vector<std::string> names;
        for (size_t pos = 0; pos < static_cast<size_t>(got);) {
            const size_t end =
                std::find(buffer.begin() + static_cast<std::ptrdiff_t>(pos), buffer.begin() + got, '\0') -
                buffer.begin();
            if (end > pos) names.emplace_back(buffer.data() + pos, end - pos);
            pos = end + 1;
        }
        return names;
    }
    Error = ERANGE;
    return {};
}

// The value of one attribute; nothing when it is gone (Error 0) or cannot be read (Error set).
std::optional<std::vector<uint8_t>> GetXattr(int Fd, const std::string& Name, int& Error) {
    Error = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::fgetxattr(Fd, Name.c_str(), nullptr, 0);
        if (size < 0) {
            if (errno != ENODATA) Error = errno;
            return std::nullopt;
        }
        std::vector<uint8_t> value(static_cast<size_t>(size));
        const ssize_t got = size == 0 ? 0 : ::fgetxattr(Fd, Name.c_str(), value.data(), value.size());
        if (got < 0 && errno == ERANGE) continue;
        if (got < 0) {
            if (errno != ENODATA) Error = errno;
            return std::nullopt;
        }
        value.resize(static_cast<size_t>(got));
        return value;
    }
    Error = ERANGE;
    return std::nullopt;
}

void ValidateEdits(const std::vector<TSplice>& Edits, int64_t FileSize) {
    int64_t end = 0;
    for (const TSplice& s : Edits) {
        if (s.Offset < end || s.Length < 0 || s.Offset > FileSize || s.Length > FileSize - s.Offset)
            throw std::logic_error("file edits out of order or outside the file");
        end = s.Offset + s.Length;
    }
}

}  // namespace

std::string JournalNameFor(const std::string& TargetName) {
    return OurPrefix(TargetName, std::strlen(kJournalSuffix)) + kJournalSuffix;
}

bool IsTemporaryNameFor(const std::string& TargetName, const std::string& Candidate,
                        const std::string& Suffix) {
    const std::string prefix = TemporaryPrefix(TargetName, Suffix);
    if (Candidate.size() != prefix.size() + kRandomLength + Suffix.size()) return false;
    if (Candidate.compare(0, prefix.size(), prefix) != 0) return false;
    if (Candidate.compare(prefix.size() + kRandomLength, Suffix.size(), Suffix) != 0) return false;
    return std::all_of(Candidate.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                       Candidate.begin() + static_cast<std::ptrdiff_t>(prefix.size() + kRandomLength),
                       IsAlnum);
}

// --- opening ----------------------------------------------------------------

TFileTransaction::TFileTransaction(const std::filesystem::path& Name, TSaveBatch* Batch)
    : name_(Name), batch_(Batch) {
    Open();
    try {
        RecoverJournal();
        RemoveStaleTemporaryFiles();
    } catch (...) {
        Finish();
        throw;
    }
}

TFileTransaction::~TFileTransaction() {
    // A commit left waiting for its first sync (its batch never finished it) has changed
    // nothing yet: its new copy or its journal goes.
    if (stage_ == TStage::Written && !finished_) {
        if (rewriting_)
            RemoveTemporary();
        else if (!journalName_.empty())
            ::unlinkat(dirFd_, journalName_.c_str(), 0);
    }
    Finish();
}

void TFileTransaction::Finish() {
    stream_.reset();
    for (int* fd : {&tempFd_, &journalFd_, &writeFd_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    if (fd_ >= 0) ::close(fd_);
    if (dirFd_ >= 0) ::close(dirFd_);
    fd_ = dirFd_ = -1;
    finished_ = true;
}

std::string TFileTransaction::What(const std::string& Doing, const std::string& Why) const {
    return Doing + " " + name_.string() + ": " + Why;
}

void TFileTransaction::Refuse(const std::string& Why) const {
    throw EFileRefused(What("Cannot save file", Why), Why);
}

void TFileTransaction::RequireWritable() const {
    // Like an open for writing that fails: the file itself may not be written.
    if (!writable_)
        throw EFOpenError("Cannot open file " + name_.string() + ": " + FileErrorReason(writeError_),
                          FileErrorReason(writeError_));
}

void TFileTransaction::CannotCreate(const std::string& What, int Errno) const {
    const std::filesystem::path folder = target_.parent_path();
    throw EFCreateError("Could not create " + What + " in " + (folder.empty() ? "." : folder.string()) +
                            ": " + Reason(Errno) + " (the file is unchanged)",
                        Reason(Errno));
}

void TFileTransaction::Open() {
    auto openError = [&](int Err) {
        throw EFOpenError("Cannot open file " + name_.string() + ": " + FileErrorReason(Err),
                          FileErrorReason(Err));
    };
    // The name may be replaced between finding and locking it (a save of another program
    // renaming its new file over it): the lock must hold the file that the name names.
    for (int attempt = 0;; ++attempt) {
        target_ = ResolveRewriteTarget(name_);
        base_ = target_.filename().string();
        const std::filesystem::path dir = target_.parent_path();
        TFd dirFd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dirFd) openError(errno);
        struct stat st {};
        if (::fstatat(dirFd.Get(), base_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) openError(errno);
        if (S_ISDIR(st.st_mode)) openError(EISDIR);
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
            throw EFOpenError("Cannot open file " + name_.string() + ": not a regular file",
                              "not a regular file");
        // Read only: our own descriptor must not count as a writer when we ask whether another
        // program has the file open for writing. Whether we may write it is asked separately.
        TFd fd(::openat(dirFd.Get(), base_.c_str(), O_RDONLY | kOpenFlags));
        writeError_ = 0;
        if (fd && ::faccessat(dirFd.Get(), base_.c_str(), W_OK, AT_EACCESS) != 0) writeError_ = errno;
        writable_ = writeError_ == 0;
        if (!fd) {
            if (errno == ELOOP && attempt < 3) continue;  // became a symlink meanwhile
            openError(errno);
        }
        if (const int err = LockNoWait(fd.Get(), LOCK_EX)) openError(err);
        struct stat held {
        }, named{};
        if (::fstat(fd.Get(), &held) != 0) openError(errno);
        if (!S_ISREG(held.st_mode))
            throw EFOpenError("Cannot open file " + name_.string() + ": not a regular file",
                              "not a regular file");
        const bool same = ::fstatat(dirFd.Get(), base_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                          named.st_dev == held.st_dev && named.st_ino == held.st_ino;
        if (!same) {
            if (attempt < 3) continue;
            throw EFOpenError("Cannot open file " + name_.string() + ": it keeps being replaced",
                              "it keeps being replaced");
        }
        dirFd_ = dirFd.Release();
        fd_ = fd.Release();
        break;
    }
    identity_ = IdentityOf(fd_, name_);
    stream_ = std::make_unique<THandleStream>(fd_);
}

int TFileTransaction::OpenForWriting() const {
    // The same file as the locked descriptor, now for writing.
    TFd fd(::openat(dirFd_, base_.c_str(), O_RDWR | kOpenFlags));
    if (!fd)
        throw EFOpenError("Cannot open file " + name_.string() + ": " + FileErrorReason(errno),
                          FileErrorReason(errno));
    struct stat held {
    }, opened{};
    if (::fstat(fd_, &held) != 0 || ::fstat(fd.Get(), &opened) != 0 || held.st_dev != opened.st_dev ||
        held.st_ino != opened.st_ino)
        Refuse("it was replaced while it was saved");
    return fd.Release();
}

void TFileTransaction::RequireNoOtherWriter() const {
    // A download or an encoder that still writes the file would lose what it writes after a
    // rewrite (into the old file) or have its end cut by an in-place save. A read lease is
    // granted only while nobody has the file open for writing; it is let go at once. Its
    // break signal is one whose default is to be ignored, so that a writer opening the file
    // in that instant cannot end this process.
    if (::fcntl(fd_, F_SETSIG, SIGURG) != 0) return;
    if (::fcntl(fd_, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd_, F_SETLEASE, F_UNLCK);
        return;
    }
    if (errno == EAGAIN) Refuse("another program has it open for writing (is it still being written?)");
    // EACCES: another user's file (leases are the owner's); EINVAL, ENOLCK: a file system
    // without leases. Then this cannot be told; the checks of size and time still hold.
}

void TFileTransaction::Expect(const TFileIdentity& Expected) const {
    if (!(IdentityOf(fd_, name_) == Expected)) Refuse("it changed since it was read");
}

bool TFileTransaction::StillNamed() const {
    // Another program's save may have renamed its own new file over the name meanwhile: our
    // lock is on the old one.
    struct stat held {
    }, named{};
    return ::fstat(fd_, &held) == 0 && ::fstatat(dirFd_, base_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

void TFileTransaction::CheckUnchanged(const char* When) const {
    if (!(IdentityOf(fd_, name_) == identity_)) Refuse(std::string("it changed while it was ") + When);
}

void TFileTransaction::RemoveStaleTemporaryFiles() {
    // Only names that a save of this very file makes, and only when no live save holds
    // them: such a save keeps its temporary file locked for as long as it exists. A batch
    // reads each folder once; alone, the folder is read now.
    std::vector<std::string> candidates;
    struct stat folder {};
    if (batch_ != nullptr && ::fstat(dirFd_, &folder) == 0) {
        candidates = batch_->LeftoversOf(dirFd_, folder.st_dev, folder.st_ino, base_);
    } else {
        const int scanFd = ::openat(dirFd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (scanFd < 0) return;
        DIR* dir = ::fdopendir(scanFd);
        if (dir == nullptr) {
            ::close(scanFd);
            return;
        }
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            for (const char* suffix : kTemporarySuffixes)
                if (IsTemporaryNameFor(base_, name, suffix)) candidates.push_back(name);
        }
        ::closedir(dir);
    }
    for (const std::string& name : candidates) {
        TFd fd(::openat(dirFd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        if (!fd) continue;
        struct stat held {
        }, named{};
        if (::fstat(fd.Get(), &held) != 0 || !S_ISREG(held.st_mode)) continue;
        if (LockNoWait(fd.Get(), LOCK_EX) != 0) continue;  // a live save holds it
        if (::fstatat(dirFd_, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            ::unlinkat(dirFd_, name.c_str(), 0);
    }
}

// --- the journal --------------------------------------------------------------

void TFileTransaction::RemoveJournal(const std::string& JournalName) {
    // Its removal needs no sync: a journal that comes back after a crash finds the save
    // either done or cut short, and acts rightly on both (see SaveJournal.h). One that
    // cannot be removed now is removed by the next transaction on the file, for the same reason.
    ::unlinkat(dirFd_, JournalName.c_str(), 0);
}

void TFileTransaction::RecoverJournal() {
    const std::string journalName = JournalNameFor(base_);
    TFd jfd(::openat(dirFd_, journalName.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!jfd) {
        if (errno == ENOENT) return;
        const int err = errno;
        throw EFOpenError(
            What("Cannot restore file", "its save journal cannot be opened (" + Reason(err) + ")"),
            Reason(err));
    }
    struct stat st {};
    if (::fstat(jfd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return;  // not one of ours
    if (LockNoWait(jfd.Get(), LOCK_EX) != 0) return;                   // a live save holds it
    std::vector<uint8_t> bytes;
    if (st.st_size <= 2 * kMaxJournalBytes) {
        bytes.resize(static_cast<size_t>(st.st_size));
        if (const int err = ReadAllAt(jfd.Get(), bytes.data(), st.st_size, 0); err != 0 && err != ESTALE)
            throw EFReadError(
                What("Cannot restore file", "its save journal cannot be read (" + Reason(err) + ")"),
                Reason(err));
    }
    const std::optional<TSaveJournal> journal = TSaveJournal::Parse(bytes);
    const TFileIdentity now = IdentityOf(fd_, name_);
    const int64_t shift = journal ? journal->ShiftLength : 0;
    const int64_t at = journal ? journal->ShiftOffset : 0;
    // Whether the blocks have been shifted: a grow inserts first, so any size but the old
    // one says so; a shrink collapses last, leaving the new size (the save chose the shift
    // so that the sizes before and after it never meet).
    const bool shifted =
        journal && (shift > 0 ? now.Size != journal->OldSize : shift < 0 && now.Size == journal->NewSize);
    // Where a byte of the file as it is now stood in the old file (nothing: an inserted zero).
    auto oldOffset = [&](int64_t Now) -> std::optional<int64_t> {
        if (!shifted || Now < at) return Now;
        if (shift > 0) return Now < at + shift ? std::nullopt : std::optional<int64_t>(Now - shift);
        return Now - shift;
    };
    auto byteIn = [](const std::vector<TJournalRegion>& Regions,
                     const std::vector<std::vector<uint8_t>>& Bytes,
                     int64_t Offset) -> std::optional<uint8_t> {
        for (size_t i = 0; i < Regions.size(); ++i)
            if (Offset >= Regions[i].Offset && Offset - Regions[i].Offset < Regions[i].Length)
                return Bytes[i][static_cast<size_t>(Offset - Regions[i].Offset)];
        return std::nullopt;
    };

    // Whether the file is the one the journal was written for, in a state the save left.
    auto applies = [&]() {
        if (!journal || journal->Device != now.Device || journal->Inode != now.Inode) return false;
        const int64_t lo = std::min(journal->OldSize, journal->NewSize),
                      hi = std::max(journal->OldSize, journal->NewSize);
        if (shift == 0 && (now.Size < lo || now.Size > hi)) return false;
        if (shift != 0) {
            // The sizes a grow passes through after its insert, a shrink before its collapse.
            const int64_t from = shift > 0 ? journal->OldSize + shift : journal->OldSize;
            const int64_t to = shift > 0 ? journal->NewSize : journal->NewSize - shift;
            const bool between = now.Size >= std::min(from, to) && now.Size <= std::max(from, to);
            if (now.Size != (shift > 0 ? journal->OldSize : journal->NewSize) && !between) return false;
        }
        for (const TJournalProbe& probe : journal->Probes) {
            const int64_t offset = shifted && probe.Offset >= at ? probe.Offset + shift : probe.Offset;
            std::vector<uint8_t> data(static_cast<size_t>(probe.Length));
            if (ReadAllAt(fd_, data.data(), probe.Length, offset) != 0 || Crc64(data) != probe.Checksum)
                return false;
        }
        return true;
    };
    // The file's regions as they are now; a region may reach past the end or be cut by it.
    auto current = [&](const TJournalRegion& R) {
        const int64_t length = std::clamp<int64_t>(now.Size - R.Offset, 0, R.Length);
        std::vector<uint8_t> data(static_cast<size_t>(length));
        if (const int err = ReadAllAt(fd_, data.data(), length, R.Offset))
            throw EFReadError(What("Cannot restore file", Reason(err)), Reason(err));
        return data;
    };
    auto complete = [&]() {
        if (now.Size != journal->NewSize || (shift != 0 && !shifted)) return false;
        for (size_t i = 0; i < journal->NewRegions.size(); ++i)
            if (current(journal->NewRegions[i]) != journal->NewBytes[i]) return false;
        return true;
    };
    // Cut short by us: every byte of the regions still old, or already new (or, past the
    // old end, not yet written). Anything else was written by another program since.
    auto interrupted = [&]() {
        if (shift != 0) {
            // Every byte of the new regions, where they stand now: new, or as the old file had it.
            for (size_t i = 0; i < journal->NewRegions.size(); ++i) {
                const TJournalRegion& r = journal->NewRegions[i];
                // Before the shift a region stands at its old place (a shrink writes before it).
                const int64_t base = shifted || r.Offset < at ? r.Offset : r.Offset - shift;
                const int64_t skip = !shifted && shift < 0 && i == 0 ? -shift : 0;  // a shrink's blocks to go
                const std::vector<uint8_t> bytes = current({base, r.Length + skip});
                for (size_t p = 0; p < bytes.size(); ++p) {
                    const int64_t offset = base + static_cast<int64_t>(p);
                    const std::optional<int64_t> old = oldOffset(offset);
                    const std::optional<uint8_t> was =
                        old ? byteIn(journal->OldRegions, journal->OldBytes, *old)
                            : std::optional<uint8_t>(0);
                    // The new byte this place gets before a shrink's collapse, if any.
                    std::optional<uint8_t> will;
                    if (shifted || shift > 0) {
                        if (static_cast<int64_t>(p) < r.Length) will = journal->NewBytes[i][p];
                    } else if (offset < at) {
                        will = journal->NewBytes[i][p];
                    } else if (offset >= at - shift && static_cast<int64_t>(p) - skip < r.Length) {
                        will = journal->NewBytes[i][p - static_cast<size_t>(skip)];
                    }
                    if (!(was && bytes[p] == *was) && !(will && bytes[p] == *will) &&
                        !(!was && bytes[p] == 0))
                        return false;
                }
            }
            return true;
        }
        for (size_t i = 0; i < journal->OldRegions.size() && i < journal->NewRegions.size(); ++i) {
            const TJournalRegion& oldRegion = journal->OldRegions[i];
            const TJournalRegion span{oldRegion.Offset,
                                      std::max(oldRegion.Length, journal->NewRegions[i].Length)};
            const std::vector<uint8_t> bytes = current(span);
            const std::vector<uint8_t>& was = journal->OldBytes[i];
            const std::vector<uint8_t>& will = journal->NewBytes[i];
            for (size_t p = 0; p < bytes.size(); ++p) {
                const bool old = p < was.size() && bytes[p] == was[p];
                const bool written = p < will.size() && bytes[p] == will[p];
                const bool unwritten = p >= was.size() && bytes[p] == 0;
                if (!old && !written && !unwritten) return false;
            }
        }
        return true;
    };
    // A torn journal was never complete, so the save never began to overwrite; one for
    // another file, or for content that is no longer there, can no longer apply; a save that
    // wrote everything needs nothing undone.
    if (!applies() || complete() || !interrupted()) {
        RemoveJournal(journalName);
        return;
    }
    if (!writable_)
        throw EFOpenError(What("Cannot restore file",
                               "an interrupted save must be undone, but the file cannot be "
                               "written (permission denied)"),
                          "an interrupted save must be undone, but the file cannot be written");
    const TFd wfd(OpenForWriting());
    auto failed = [&](int Err) {
        throw EFWriteError(What("Cannot restore file", Reason(Err) + "; its journal stays for the next run"),
                           Reason(Err));
    };
    // The regions' bytes written, the file cut to Size and synced; then the journal goes.
    auto writeBack = [&](const auto& Regions, const auto& Bytes, int64_t Size) {
        for (size_t i = 0; i < Regions.size(); ++i)
            if (const int err = WriteAllAt(wfd.Get(), Bytes[i].data(), static_cast<int64_t>(Bytes[i].size()),
                                           Regions[i].Offset))
                failed(err);
        int err = ::ftruncate(wfd.Get(), Size) == 0 ? 0 : errno;
        if (err == 0) err = SyncFd(wfd.Get());
        if (err != 0) failed(err);
        RemoveJournal(journalName);
        identity_ = IdentityOf(fd_, name_);
    };
    if (shifted && shift < 0) {
        // A shrink whose blocks are gone is finished: that needs no space, where undoing it would.
        writeBack(journal->NewRegions, journal->NewBytes, journal->NewSize);
        return;
    }
    // A grow's inserted blocks go first (that frees space), then the old bytes go back.
    if (shifted && ::fallocate(wfd.Get(), FALLOC_FL_COLLAPSE_RANGE, at, shift) != 0) failed(errno);
    writeBack(journal->OldRegions, journal->OldBytes, journal->OldSize);
}

// --- committing ---------------------------------------------------------------

bool TFileTransaction::FitsInPlace(const std::vector<TSplice>& Edits, int64_t FileSize) {
    for (size_t i = 0; i < Edits.size(); ++i) {
        const TSplice& s = Edits[i];
        const bool last = i + 1 == Edits.size();
        if (static_cast<int64_t>(s.Bytes.size()) != s.Length && !(last && s.Offset + s.Length == FileSize))
            return false;
    }
    return true;
}

void TFileTransaction::Commit(const std::vector<TSplice>& Edits) {
    if (FitsInPlace(Edits, identity_.Size))
        CommitInPlace(Edits);
    else
        CommitRewrite(Edits);
}

void TFileTransaction::CommitInPlace(const std::vector<TSplice>& Edits) {
    if (finished_ || committed_ || stage_ != TStage::Open)
        throw std::logic_error("file transaction already committed");
    try {
        RequireWritable();
        ValidateEdits(Edits, identity_.Size);
        if (!FitsInPlace(Edits, identity_.Size)) throw std::logic_error("edits do not fit in place");
        WriteJournal(Edits, {});
    } catch (...) {
        Finish();
        throw;
    }
    Complete();
}

void TFileTransaction::CommitShifted(const std::vector<TSplice>& Edits, TBlockShift Shift,
                                     const std::vector<TSplice>& Rewrite, const std::string& TempSuffix) {
    if (finished_ || committed_ || stage_ != TStage::Open)
        throw std::logic_error("file transaction already committed");
    const int64_t block = ShiftBlockSize();
    // The shift must lie inside the first splice, in whole blocks, and leave the size of the
    // file in each state distinct from the other (the journal tells them apart by it).
    auto usable = [&]() {
        if (block <= 0 || Edits.empty() || Shift.Length == 0 || Shift.Offset % block != 0 ||
            Shift.Length % block != 0)
            return false;
        const TSplice& head = Edits.front();
        if (static_cast<int64_t>(head.Bytes.size()) - head.Length != Shift.Length) return false;
        const int64_t magnitude = Shift.Length < 0 ? -Shift.Length : Shift.Length;
        if (Shift.Offset <= head.Offset ||
            Shift.Offset + (Shift.Length < 0 ? magnitude : 0) > head.Offset + head.Length)
            return false;
        // Something must follow the area (a shift cannot reach the end of the file).
        if (head.Offset + head.Length >= identity_.Size) return false;
        int64_t tail = 0;
        for (size_t i = 1; i < Edits.size(); ++i)
            tail += static_cast<int64_t>(Edits[i].Bytes.size()) - Edits[i].Length;
        return (tail < 0 ? -tail : tail) < magnitude &&
               FitsInPlace({Edits.begin() + 1, Edits.end()}, identity_.Size);
    };
    if (!usable()) {
        CommitRewrite(Rewrite, TempSuffix);
        return;
    }
    try {
        RequireWritable();
        ValidateEdits(Edits, identity_.Size);
        fallback_ = Rewrite;
        fallbackSuffix_ = TempSuffix;
        WriteJournal(Edits, Shift);
    } catch (...) {
        Finish();
        throw;
    }
    Complete();
}

int64_t TFileTransaction::ShiftBlockSize() const {
    // Only the saves of a run (with a batch) shift blocks: alone, a save follows the padding
    // rule to the byte.
    return batch_ == nullptr ? 0 : ShiftBlockSizeOf(fd_);
}

void TFileTransaction::Complete() {
    // Without a batch (or not deferred), the commit's syncs and steps follow at once.
    if (defer_) return;
    while (Pending()) {
        SyncStage();
        Advance();
    }
}

void TFileTransaction::WriteJournal(const std::vector<TSplice>& Edits, TBlockShift Shift) {
    oldSize_ = identity_.Size;
    CheckUnchanged("read");

    // What changes: the splices whose bytes differ from what stands there now.
    changes_.clear();
    oldBytes_.clear();
    newSize_ = oldSize_;
    for (size_t i = 0; i < Edits.size(); ++i) {
        const TSplice& s = Edits[i];
        std::vector<uint8_t> old(static_cast<size_t>(s.Length));
        if (const int err = ReadAllAt(fd_, old.data(), s.Length, s.Offset))
            throw EFReadError(What("Cannot save file", Reason(err) + " (the file is unchanged)"),
                              Reason(err));
        newSize_ += static_cast<int64_t>(s.Bytes.size()) - s.Length;
        // The splice the shift lies in always counts: its size changes.
        if (old == s.Bytes && !(i == 0 && Shift.Length != 0)) continue;
        changes_.push_back(s);
        oldBytes_.push_back(std::move(old));
    }
    if (changes_.empty()) {
        committed_ = true;
        stage_ = TStage::Done;
        Finish();
        return;
    }
    shift_ = Shift;
    stage_ = TStage::Open;

    RequireNoOtherWriter();
    writeFd_ = OpenForWriting();
    // Room for a growing end is taken before anything is overwritten, so a full disk stops
    // the save while the file is still whole.
    if (newSize_ > oldSize_ && shift_.Length == 0) {
        if (::fallocate(writeFd_, FALLOC_FL_KEEP_SIZE, oldSize_, newSize_ - oldSize_) != 0 &&
            errno != EOPNOTSUPP && errno != ENOSYS)
            throw EFWriteError(What("Cannot save file", Reason(errno) + " (the file is unchanged)"),
                               Reason(errno));
        // The reservation changed the file's times; the file is still the one read.
        identity_ = IdentityOf(fd_, name_);
    }

    TSaveJournal journal;
    journal.Device = identity_.Device;
    journal.Inode = identity_.Inode;
    journal.OldSize = oldSize_;
    journal.NewSize = newSize_;
    journal.ShiftOffset = shift_.Offset;
    journal.ShiftLength = shift_.Length;
    int64_t moved = 0;  // how far a splice's new bytes stand from its old offset
    for (size_t i = 0; i < changes_.size(); ++i) {
        journal.OldRegions.push_back({changes_[i].Offset, changes_[i].Length});
        journal.NewRegions.push_back(
            {changes_[i].Offset + moved, static_cast<int64_t>(changes_[i].Bytes.size())});
        journal.NewBytes.push_back(changes_[i].Bytes);
        moved += static_cast<int64_t>(changes_[i].Bytes.size()) - changes_[i].Length;
    }
    journal.OldBytes = oldBytes_;
    // The untouched bytes between the changed regions tell this file's content from any other.
    int64_t gapStart = 0;
    std::vector<TJournalRegion> gaps;
    for (const TSplice& s : changes_) {
        if (s.Offset > gapStart) gaps.push_back({gapStart, s.Offset - gapStart});
        gapStart = s.Offset + s.Length;
    }
    if (gapStart < std::min(oldSize_, newSize_))
        gaps.push_back({gapStart, std::min(oldSize_, newSize_) - gapStart});
    if (!gaps.empty()) {
        std::vector<TJournalRegion> probes = {
            {gaps.front().Offset, std::min(kProbeLength, gaps.front().Length)}};
        const TJournalRegion& last = gaps.back();
        const int64_t length = std::min(kProbeLength, last.Length);
        if (gaps.size() > 1 || last.Length > kProbeLength)
            probes.push_back({last.Offset + last.Length - length, length});
        for (const TJournalRegion& p : probes) {
            std::vector<uint8_t> data(static_cast<size_t>(p.Length));
            if (const int err = ReadAllAt(fd_, data.data(), p.Length, p.Offset))
                throw EFReadError(What("Cannot save file", Reason(err) + " (the file is unchanged)"),
                                  Reason(err));
            journal.Probes.push_back({p.Offset, p.Length, Crc64(data)});
        }
    }

    journalName_ = JournalNameFor(base_);
    TFd jfd(::openat(dirFd_, journalName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!jfd) {
        if (errno == EEXIST) Refuse("the journal of an earlier save is in the way (" + journalName_ + ")");
        CannotCreate("the save journal " + journalName_, errno);
    }
    journalFd_ = jfd.Release();
    if (const int err = LockNoWait(journalFd_, LOCK_EX)) AbandonJournal(err);
    const std::vector<uint8_t> record = journal.Serialize();
    if (const int err = WriteAllAt(journalFd_, record.data(), static_cast<int64_t>(record.size()), 0))
        AbandonJournal(err);
    // Its writeback begins now; the sync that waits for it comes later.
    ::sync_file_range(journalFd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    stage_ = TStage::Written;
}

void TFileTransaction::AbandonJournal(int Error) {
    // Until the journal is synced, the file is untouched: a failure only removes it.
    ::unlinkat(dirFd_, journalName_.c_str(), 0);
    Finish();
    throw EFWriteError(What("Cannot save file",
                            "its journal cannot be written (" + Reason(Error) + "); the file is unchanged"),
                       Reason(Error));
}

bool TFileTransaction::Shift(int Mode, int64_t Offset, int64_t Length) {
    int rc;
    do {
        rc = ::fallocate(writeFd_, Mode, Offset, Length);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

namespace {
bool Refused(int Errno) { return Errno == EOPNOTSUPP || Errno == EINVAL || Errno == ENOSYS; }
}  // namespace

void TFileTransaction::ApplyInPlace() {
    // The file must still be the one read: a program that does not lock it (a download that
    // appends) would otherwise have its new bytes cut.
    const bool named = StillNamed();
    if (!named || !(IdentityOf(fd_, name_) == identity_)) {
        RemoveJournal(journalName_);
        Finish();
        Refuse(named ? "it changed while it was saved (is another program writing it?)"
                     : "it was replaced while it was saved (is another program saving it?)");
    }
    const bool grow = shift_.Length > 0, shrink = shift_.Length < 0;
    int err = 0;
    // Grow: zero blocks inside the old area first; the audio moves with its blocks, not a
    // byte of it is copied or written.
    if (grow && !Shift(FALLOC_FL_INSERT_RANGE, shift_.Offset, shift_.Length)) err = errno;
    if (err == 0) shifted_ = grow;
    // The new bytes: after a grow where the new file has them; before a shrink where the old
    // one has them, the blocks that go left as they are.
    for (size_t i = 0; i < changes_.size() && err == 0; ++i) {
        const TSplice& s = changes_[i];
        if (i == 0 && shrink) {
            const int64_t front = shift_.Offset - s.Offset, gone = -shift_.Length;
            err = WriteAllAt(writeFd_, s.Bytes.data(), front, s.Offset);
            if (err == 0)
                err = WriteAllAt(writeFd_, s.Bytes.data() + front,
                                 static_cast<int64_t>(s.Bytes.size()) - front, shift_.Offset + gone);
        } else {
            err = WriteAllAt(writeFd_, s.Bytes.data(), static_cast<int64_t>(s.Bytes.size()),
                             i == 0 ? s.Offset : s.Offset + (grow ? shift_.Length : 0));
        }
    }
    const int64_t size = newSize_ - (shrink ? shift_.Length : 0);
    if (err == 0 && size != (grow ? oldSize_ + shift_.Length : oldSize_) && ::ftruncate(writeFd_, size) != 0)
        err = errno;
    // Shrink: the blocks that only held the old area's bytes go last.
    if (err == 0 && shrink) {
        if (Shift(FALLOC_FL_COLLAPSE_RANGE, shift_.Offset, -shift_.Length))
            shifted_ = true;
        else
            err = errno;
    }
    if (err != 0) {
        const bool refused = shift_.Length != 0 && !shifted_ && Refused(err);
        // A grow refused at its insert has written nothing: nothing to put back.
        if (refused && grow) {
            RemoveJournal(journalName_);
            TakeRewrite();
            return;
        }
        RollbackInPlace(err, refused);
        if (refused) return;  // the rewrite takes its place
    }
    stage_ = TStage::Applied;
}

void TFileTransaction::TakeRewrite() {
    // The file system refused to shift blocks: the rewrite of the same save takes the place
    // of the in-place commit, on the file as it is (as read; any bytes put back were ours).
    ::close(journalFd_);
    ::close(writeFd_);
    journalFd_ = writeFd_ = -1;
    shift_ = {};
    stage_ = TStage::Open;
    rewriting_ = true;
    identity_ = IdentityOf(fd_, name_);
    try {
        WriteRewrite(fallback_, fallbackSuffix_);
    } catch (...) {
        RemoveTemporary();
        Finish();
        throw;
    }
}

void TFileTransaction::RestoreOld() {
    // The old bytes back where the old file had them, after undoing a grow's insert; a
    // shrink whose blocks are gone is finished instead (that needs no new space).
    if (shifted_ && shift_.Length > 0) {
        if (!Shift(FALLOC_FL_COLLAPSE_RANGE, shift_.Offset, shift_.Length))
            throw EFWriteError(What("Cannot restore file", Reason(errno)), Reason(errno));
        shifted_ = false;
    }
    if (shifted_) {
        int64_t moved = 0;
        for (const TSplice& s : changes_) {
            if (const int err = WriteAllAt(writeFd_, s.Bytes.data(), static_cast<int64_t>(s.Bytes.size()),
                                           s.Offset + moved))
                throw EFWriteError(What("Cannot finish saving file", Reason(err)), Reason(err));
            moved += static_cast<int64_t>(s.Bytes.size()) - s.Length;
        }
        if (::ftruncate(writeFd_, newSize_) != 0)
            throw EFWriteError(What("Cannot finish saving file", Reason(errno)), Reason(errno));
        if (const int err = SyncFd(writeFd_))
            throw EFWriteError(What("Cannot finish saving file", Reason(err)), Reason(err));
        return;
    }
    for (size_t i = 0; i < changes_.size(); ++i) {
        if (const int err = WriteAllAt(writeFd_, oldBytes_[i].data(),
                                       static_cast<int64_t>(oldBytes_[i].size()), changes_[i].Offset))
            throw EFWriteError(What("Cannot restore file", Reason(err)), Reason(err));
    }
    if (::ftruncate(writeFd_, oldSize_) != 0)
        throw EFWriteError(What("Cannot restore file", Reason(errno)), Reason(errno));
    if (const int err = SyncFd(writeFd_))
        throw EFWriteError(What("Cannot restore file", Reason(err)), Reason(err));
}

void TFileTransaction::RollbackInPlace(int Error, bool ThenRewrite) {
    // Any failure while the file is written in place puts it back at once (or, a shrink that
    // has already taken its blocks out, finishes it); the journal is then removed.
    const bool finished = shifted_ && shift_.Length < 0;
    try {
        RestoreOld();
        RemoveJournal(journalName_);
    } catch (const EFileError& e) {
        Finish();
        throw EFWriteError(
            What("Cannot save file", Reason(Error) + "; the file could not be " +
                                         (finished ? "finished" : "restored") + " yet (" + e.Reason() +
                                         "): the next run " + (finished ? "finishes" : "restores") +
                                         " it from " + journalName_),
            Reason(Error));
    }
    if (finished) {
        // Saved after all, and synced.
        committed_ = true;
        identity_ = IdentityOf(fd_, name_);
        stage_ = TStage::Done;
        Finish();
        return;
    }
    if (ThenRewrite) {
        TakeRewrite();
        return;
    }
    Finish();
    throw EFWriteError(What("Cannot save file", Reason(Error) + " (the file is unchanged)"), Reason(Error));
}

void TFileTransaction::RemoveTemporary() {
    // Our temporary file goes, by its name only while the name is still ours.
    struct stat held {
    }, named{};
    if (!renamed_ && tempFd_ >= 0 && ::fstat(tempFd_, &held) == 0 &&
        ::fstatat(dirFd_, tempName_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        ::unlinkat(dirFd_, tempName_.c_str(), 0);
}

void TFileTransaction::CommitRewrite(const std::vector<TSplice>& Edits, const std::string& TempSuffix) {
    if (finished_ || committed_ || stage_ != TStage::Open)
        throw std::logic_error("file transaction already committed");
    rewriting_ = true;
    try {
        WriteRewrite(Edits, TempSuffix);
    } catch (...) {
        RemoveTemporary();
        Finish();
        throw;
    }
    Complete();
}

void TFileTransaction::SyncStage() {
    try {
        if (rewriting_ && stage_ == TStage::Written) {
            if (const int err = SyncFd(tempFd_))
                throw EFWriteError(What("Cannot save file", "cannot sync its new copy (" + Reason(err) +
                                                                "); the file is unchanged"),
                                   Reason(err));
        } else if (rewriting_ && stage_ == TStage::Applied) {
            if (const int err = SyncFd(dirFd_))
                throw EFWriteError(What("Saved file", "but its folder could not be synced (" + Reason(err) +
                                                          "), so the change may not survive a crash"),
                                   Reason(err));
        } else if (stage_ == TStage::Written) {
            int err = SyncFd(journalFd_);
            if (err == 0) err = SyncFd(dirFd_);
            if (err != 0) AbandonJournal(err);
        } else if (stage_ == TStage::Applied) {
            if (const int err = SyncFd(writeFd_)) RollbackInPlace(err, false);
        }
    } catch (...) {
        if (rewriting_) RemoveTemporary();
        Finish();
        throw;
    }
}

void TFileTransaction::Advance() {
    try {
        if (rewriting_ && stage_ == TStage::Written) {
            // A file that grew or changed meanwhile (a download, an encoder, another tagger)
            // would lose what was written to it after our copy.
            if (!StillNamed()) Refuse("it was replaced while it was saved (is another program saving it?)");
            if (!(IdentityOf(fd_, name_) == identity_))
                Refuse("it changed while it was saved (is another program writing it?)");
            RequireNoOtherWriter();
            struct stat held {
            }, named{};
            if (::fstat(tempFd_, &held) != 0 ||
                ::fstatat(dirFd_, tempName_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
                held.st_dev != named.st_dev || held.st_ino != named.st_ino)
                throw EFWriteError(What("Cannot save file",
                                        "its temporary file was replaced by another program "
                                        "(temporary file replaced); the file is unchanged"),
                                   "temporary file replaced");
            if (::renameat(dirFd_, tempName_.c_str(), dirFd_, base_.c_str()) != 0) {
                const int err = errno;
                throw EFWriteError(What("Cannot save file",
                                        "cannot replace it (" + Reason(err) + "); the file is unchanged"),
                                   Reason(err));
            }
            renamed_ = true;
            committed_ = true;
            identity_ = IdentityOf(tempFd_, name_);
            stage_ = TStage::Applied;
        } else if (rewriting_ && stage_ == TStage::Applied) {
            const int err = ::close(tempFd_) == 0 ? 0 : errno;
            tempFd_ = -1;
            stage_ = TStage::Done;
            if (err != 0)
                throw EFWriteError(What("Saved file", "but closing it failed (" + Reason(err) + ")"),
                                   Reason(err));
            Finish();
        } else if (stage_ == TStage::Written) {
            ApplyInPlace();
        } else if (stage_ == TStage::Applied) {
            committed_ = true;
            identity_ = IdentityOf(fd_, name_);
            stage_ = TStage::Done;
            RemoveJournal(journalName_);
            Finish();
        }
    } catch (...) {
        if (rewriting_) RemoveTemporary();
        Finish();
        throw;
    }
}

void TFileTransaction::WriteRewrite(const std::vector<TSplice>& Edits, const std::string& TempSuffix) {
    auto fail = [&](const std::string& Doing, const std::string& Why) {
        throw EFWriteError(What("Cannot save file", Doing + " (" + Why + "); the file is unchanged"), Why);
    };
    auto resetTemp = [&](int Fd) {
        if (tempFd_ >= 0) ::close(tempFd_);
        tempFd_ = Fd;
    };
    RequireWritable();
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Refuse(Reason(errno));
    const int64_t oldSize = st.st_size;
    ValidateEdits(Edits, oldSize);
    CheckUnchanged("read");
    // Renaming a new file over one of several names would leave the others with the old
    // content: the names of one file stay one file.
    if (st.st_nlink > 1)
        Refuse("it has " + std::to_string(st.st_nlink) +
               " hard links and its tag does not fit in place; a rewrite would separate them");

    // A name of our own that nobody else uses, created here and locked while it exists.
    for (int attempt = 0; attempt < 16 && tempFd_ < 0; ++attempt) {
        tempName_ = TemporaryPrefix(base_, TempSuffix) + RandomPart() + TempSuffix;
        resetTemp(
            ::openat(dirFd_, tempName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (tempFd_ < 0 && errno != EEXIST) CannotCreate("a temporary file", errno);
    }
    if (tempFd_ < 0) CannotCreate("a temporary file", EEXIST);
    if (const int err = LockNoWait(tempFd_, LOCK_EX)) fail("cannot lock its temporary file", Reason(err));

    // Owner, group and permission bits before the first data byte.
    if (::fchown(tempFd_, st.st_uid, st.st_gid) != 0) {
        const int err = errno;
        struct stat mine {};
        if (::fstat(tempFd_, &mine) != 0 || mine.st_uid != st.st_uid || mine.st_gid != st.st_gid)
            Refuse("it belongs to user " + std::to_string(st.st_uid) + " and group " +
                   std::to_string(st.st_gid) + ", which a rewrite could not keep (" + Reason(err) + ")");
    }
    if (::fchmod(tempFd_, st.st_mode & 07777) != 0)
        fail("cannot set the permissions of its new copy", Reason(errno));

    // Extended attributes (ACLs among them) go with the file; one that cannot be kept
    // stops the save rather than being dropped.
    int err = 0;
    const std::vector<std::string> names = ListXattrs(fd_, err);
    if (err != 0) Refuse("cannot read its extended attributes (" + Reason(err) + ")");
    for (const std::string& attribute : names) {
        const auto value = GetXattr(fd_, attribute, err);
        if (!value) {
            if (err == 0) continue;  // removed meanwhile
            Refuse("cannot read its extended attribute " + attribute + " (" + Reason(err) + ")");
        }
        if (::fsetxattr(tempFd_, attribute.c_str(), value->data(), value->size(), 0) != 0) {
            const int setErr = errno;
            int readErr = 0;
            if (GetXattr(tempFd_, attribute, readErr) != value)
                Refuse("cannot keep its extended attribute " + attribute + " (" + Reason(setErr) + ")");
        }
    }
    // What the new file got from its folder (a default ACL) and the old one did not have.
    for (const std::string& attribute : ListXattrs(tempFd_, err)) {
        if (std::find(names.begin(), names.end(), attribute) != names.end()) continue;
        if (::fremovexattr(tempFd_, attribute.c_str()) != 0)
            Refuse("cannot clear the extended attribute " + attribute + " of its new copy (" + Reason(errno) +
                   ")");
    }

    // The content: the old bytes between the splices, copied run by run so that holes
    // stay holes, and the new bytes of each splice.
    // Where the kernel cannot copy between the two (another file system, an old kernel), one
    // large buffer does it: memory stays flat whatever the size of the file. On local file
    // systems the kernel copies through the page cache too (or shares blocks, XFS and btrfs,
    // which needs the same place within a block in both files); where source and copy stand
    // at different places within a page, that copy takes about twice as long as through the
    // buffer.
    std::vector<uint8_t> buffer;
    bool kernelCopy = true;
    const bool local = IsLocal(FileSystemOf(fd_));
    auto copyData = [&](int64_t From, int64_t Length, int64_t To) {
        if (local && (From - To) % 4096 != 0) kernelCopy = false;
        while (Length > 0) {
            if (kernelCopy) {
                loff_t src = From, dst = To;
                const ssize_t n = ::copy_file_range(fd_, &src, tempFd_, &dst, static_cast<size_t>(Length), 0);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                              errno == EBADF)) {
                    kernelCopy = false;
                    continue;
                }
                if (n < 0) fail("cannot copy the audio", Reason(errno));
                if (n == 0) Refuse("it changed while it was saved (is another program writing it?)");
                From += n;
                To += n;
                Length -= n;
                continue;
            }
            if (buffer.empty()) buffer.resize(static_cast<size_t>(kCopyChunk));
            const int64_t chunk = std::min<int64_t>(Length, kCopyChunk);
            if (const int readErr = ReadAllAt(fd_, buffer.data(), chunk, From))
                fail("cannot copy the audio", Reason(readErr));
            if (const int writeErr = WriteAllAt(tempFd_, buffer.data(), chunk, To))
                fail("cannot copy the audio", Reason(writeErr));
            From += chunk;
            To += chunk;
            Length -= chunk;
        }
    };
    auto copyRange = [&](int64_t From, int64_t Length, int64_t To) {
        const int64_t end = From + Length;
        int64_t pos = From;
        while (pos < end) {
            off_t data = ::lseek(fd_, pos, SEEK_DATA);
            off_t hole = end;
            if (data < 0) {
                if (errno == ENXIO) break;  // only a hole up to the end
                data = pos;                 // no hole support: all of it is data
            } else {
                hole = ::lseek(fd_, data, SEEK_HOLE);
                if (hole < 0) hole = end;
            }
            if (data >= end) break;
            hole = std::min<off_t>(hole, end);
            copyData(data, hole - data, To + (data - From));
            pos = hole;
        }
    };
    int64_t in = 0, out = 0;
    for (const TSplice& s : Edits) {
        copyRange(in, s.Offset - in, out);
        out += s.Offset - in;
        if (const int writeErr =
                WriteAllAt(tempFd_, s.Bytes.data(), static_cast<int64_t>(s.Bytes.size()), out))
            fail("cannot write its new copy", Reason(writeErr));
        out += static_cast<int64_t>(s.Bytes.size());
        in = s.Offset + s.Length;
    }
    copyRange(in, oldSize - in, out);
    out += oldSize - in;
    // A hole at the end has no byte that would set the size.
    if (::ftruncate(tempFd_, out) != 0) fail("cannot write its new copy", Reason(errno));
    // Its writeback begins now, while the next files are worked on; the sync that waits for
    // it comes later, before the rename.
    ::sync_file_range(tempFd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    stage_ = TStage::Written;
}

bool RecoverInterruptedSave(const std::filesystem::path& Name) {
    const std::filesystem::path target = ResolveRewriteTarget(Name);
    struct stat st {};
    const std::filesystem::path journal = target.parent_path() / JournalNameFor(target.filename().string());
    if (::lstat(journal.c_str(), &st) != 0) return false;
    TFileTransaction transaction(Name);
    return true;
}

}  // namespace covrilo
