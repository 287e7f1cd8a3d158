// SPDX-License-Identifier: MIT
#include "io/EnhancedStreams.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <system_error>

#include "io/UnicodeFileUtils.h"

namespace covrilo {

namespace {

[[noreturn]] void ThrowSystemError(const std::string& What) {
    throw std::system_error(errno, std::generic_category(), What);
}

// Position arithmetic shared by the memory streams: never negative, no overflow.
int64_t SeekWithin(int64_t Current, int64_t Size, int64_t Offset, TSeekOrigin Origin) {
    int64_t base = 0;
    switch (Origin) {
        case TSeekOrigin::soBeginning:
            base = 0;
            break;
        case TSeekOrigin::soCurrent:
            base = Current;
            break;
        case TSeekOrigin::soEnd:
            base = Size;
            break;
    }
    if (Offset > 0 && base > std::numeric_limits<int64_t>::max() - Offset) return Current;
    int64_t target = base + Offset;
    return target < 0 ? Current : target;
}

// Bytes readable at pos of a block of size bytes, capped at count.
int64_t Readable(int64_t Pos, int64_t Size, int64_t Count) {
    if (Count <= 0 || Pos >= Size) return 0;
    return std::min(Count, Size - Pos);
}

}  // namespace

// --- errors and identity ---------------------------------------------------

std::string FileErrorReason(int Errno) {
    switch (Errno) {
        case EACCES:
        case EPERM:
            return "permission denied";
        case EWOULDBLOCK:
            return "locked by another program";
        case ENOENT:
        case ENOTDIR:
            return "not found";
        case EISDIR:
            return "is a folder";
        case EROFS:
            return "read-only file system";
        case ENOSPC:
            return "no space left on the device";
        case EDQUOT:
            return "disk quota exceeded";
        case EIO:
            return "input/output error";
        case ENAMETOOLONG:
            return "file name too long";
        case ELOOP:
            return "too many levels of symbolic links";
        case EMFILE:
        case ENFILE:
            return "too many open files";
        default:
            break;
    }
    std::string text = std::strerror(Errno);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

std::string ErrorReason(const std::exception& Error) {
    if (const auto* file = dynamic_cast<const EFileError*>(&Error)) return file->Reason();
    return Error.what();
}

TFileIdentity IdentityOf(int Handle, const std::filesystem::path& FileName) {
    struct stat st {};
    if (::fstat(Handle, &st) != 0) {
        const int err = errno;
        throw EFReadError("Cannot read file " + FileName.string() + ": " + FileErrorReason(err),
                          FileErrorReason(err));
    }
    TFileIdentity id;
    id.Device = static_cast<uint64_t>(st.st_dev);
    id.Inode = static_cast<uint64_t>(st.st_ino);
    id.Size = st.st_size;
    id.ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.ChangedNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return id;
}

// --- TStream ---------------------------------------------------------------

int64_t TStream::Size() {
    int64_t pos = Position();
    int64_t size = Seek(0, TSeekOrigin::soEnd);
    SetPosition(pos);
    return size;
}

int64_t TStream::Remaining() {
    int64_t pos = Position();
    int64_t size = Size();
    return pos < size ? size - pos : 0;
}

std::vector<uint8_t> TStream::ReadBytes(int64_t Count) {
    std::vector<uint8_t> bytes(static_cast<size_t>(std::clamp<int64_t>(Count, 0, Remaining())));
    bytes.resize(static_cast<size_t>(Read(bytes.data(), static_cast<int64_t>(bytes.size()))));
    return bytes;
}

std::optional<std::vector<uint8_t>> TStream::ReadBytesAt(int64_t Pos, int64_t Count) {
    if (Pos < 0) return std::nullopt;
    SetPosition(Pos);
    std::vector<uint8_t> bytes = ReadBytes(Count);
    if (static_cast<int64_t>(bytes.size()) != Count) return std::nullopt;
    return bytes;
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
    if (Count <= 0) Count = Source.Remaining();
    constexpr int64_t kChunk = 1 << 20;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(Count, kChunk)));
    int64_t copied = 0;
    while (copied < Count) {
        int64_t want = std::min<int64_t>(Count - copied, static_cast<int64_t>(buffer.size()));
        int64_t got = Source.Read(buffer.data(), want);
        if (got <= 0) break;
        int64_t written = Write(buffer.data(), got);
        copied += written;
        if (written != got) break;
    }
    return copied;
}

// --- TMemoryStream ---------------------------------------------------------

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
    int64_t n = Readable(pos_, Size(), Count);
    if (n > 0) std::memcpy(Buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    if (pos_ > Size() - Count) data_.resize(static_cast<size_t>(pos_ + Count));
    std::memcpy(data_.data() + pos_, Buffer, static_cast<size_t>(Count));
    pos_ += Count;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    pos_ = SeekWithin(pos_, Size(), Offset, Origin);
    return pos_;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    data_.resize(static_cast<size_t>(std::max<int64_t>(NewSize, 0)));
}

// --- TCustomMemoryStream ---------------------------------------------------

int64_t TCustomMemoryStream::Read(void* Buffer, int64_t Count) {
    int64_t n = Readable(pos_, Size(), Count);
    if (n > 0) std::memcpy(Buffer, memory_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

int64_t TCustomMemoryStream::Write(const void*, int64_t) { return 0; }

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    pos_ = SeekWithin(pos_, Size(), Offset, Origin);
    return pos_;
}

void TCustomMemoryStream::SetSize(int64_t) { throw std::logic_error("memory view cannot change its size"); }

void TCustomMemoryStream::SetPointer(const uint8_t* Ptr, int64_t Size) {
    memory_ = Ptr != nullptr ? std::span<const uint8_t>(Ptr, static_cast<size_t>(Size))
                             : std::span<const uint8_t>();
}

// --- THandleStream ---------------------------------------------------------

int64_t THandleStream::Read(void* Buffer, int64_t Count) {
    int64_t total = 0;
    auto* out = static_cast<uint8_t*>(Buffer);
    while (total < Count) {
        ssize_t n = ::pread(handle_, out + total, static_cast<size_t>(Count - total), pos_ + total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            // An error is not the end of the file: whoever reads must not take it for one.
            const int err = errno;
            throw EFReadError("Cannot read file: " + FileErrorReason(err), FileErrorReason(err));
        }
        if (n == 0) break;
        total += n;
    }
    pos_ += total;
    return total;
}

int64_t THandleStream::Write(const void* Buffer, int64_t Count) {
    int64_t total = 0;
    const auto* in = static_cast<const uint8_t*>(Buffer);
    while (total < Count) {
        ssize_t n = ::pwrite(handle_, in + total, static_cast<size_t>(Count - total), pos_ + total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            pos_ += total;
            throw EFWriteError("Cannot write file: " + FileErrorReason(err), FileErrorReason(err));
        }
        if (n == 0) break;
        total += n;
    }
    pos_ += total;
    return total;
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int64_t size = Origin == TSeekOrigin::soEnd ? Size() : 0;
    pos_ = SeekWithin(pos_, size, Offset, Origin);
    return pos_;
}

int64_t THandleStream::Size() {
    struct stat st {};
    if (::fstat(handle_, &st) != 0) ThrowSystemError("fstat");
    return st.st_size;
}

void THandleStream::SetSize(int64_t NewSize) {
    if (::ftruncate(handle_, std::max<int64_t>(NewSize, 0)) != 0) ThrowSystemError("ftruncate");
}

void THandleStream::Flush() {
    if (::fsync(handle_) != 0) ThrowSystemError("fsync");
}

TFileIdentity THandleStream::Identity() { return IdentityOf(handle_, std::filesystem::path()); }

// --- TUnicodeFileStream ----------------------------------------------------

namespace {

int OpenForStream(const std::filesystem::path& FileName, uint16_t Mode) {
    int handle = Mode == fmCreate ? UnicodeFileCreate(FileName) : UnicodeFileOpen(FileName, Mode);
    if (handle == INVALID_HANDLE_VALUE) {
        const std::string reason = FileErrorReason(errno);
        if (Mode == fmCreate)
            throw EFCreateError("Cannot create file " + FileName.string() + ": " + reason, reason);
        throw EFOpenError("Cannot open file " + FileName.string() + ": " + reason, reason);
    }
    return handle;
}

}  // namespace

TUnicodeFileStream::TUnicodeFileStream(const std::filesystem::path& FileName, uint16_t Mode)
    : THandleStream(OpenForStream(FileName, Mode)), fileName_(FileName) {}

TUnicodeFileStream::~TUnicodeFileStream() { ::close(handle_); }

// --- TMemoryMappedFileStream -----------------------------------------------

TMemoryMappedFileStream::TMemoryMappedFileStream(const std::filesystem::path& FileName, bool CopyOnWrite,
                                                 const std::string& MappingName, uint16_t Mode)
    : fileName_(FileName), mode_(Mode), mappingName_(MappingName), copyOnWrite_(CopyOnWrite) {
    handle_ = OpenForStream(FileName, Mode);
    struct stat st {};
    if (::fstat(handle_, &st) != 0) {
        int err = errno;
        ::close(handle_);
        throw std::system_error(err, std::generic_category(), "fstat");
    }
    size_ = st.st_size;
    try {
        Map();
    } catch (...) {
        ::close(handle_);
        throw;
    }
}

TMemoryMappedFileStream::TMemoryMappedFileStream(int BorrowedHandle, const std::filesystem::path& FileName)
    : fileName_(FileName),
      mode_(fmOpenRead | fmShareDenyWrite),
      copyOnWrite_(false),
      handle_(BorrowedHandle),
      ownsHandle_(false) {
    size_ = IdentityOf(handle_, fileName_).Size;
    Map();
}

TMemoryMappedFileStream::~TMemoryMappedFileStream() {
    Unmap();
    if (ownsHandle_) ::close(handle_);
}

void TMemoryMappedFileStream::Map() {
    if (size_ <= 0) {
        SetPointer(nullptr, 0);
        return;
    }
    int access = mode_ == fmCreate ? 2 : (mode_ & 3);
    int prot = PROT_READ;
    int flags = MAP_SHARED;
    if (access == 0) {
        // A copy-on-write view may be changed in memory without touching the file.
        if (copyOnWrite_) {
            prot |= PROT_WRITE;
            flags = MAP_PRIVATE;
        }
    } else {
        prot |= PROT_WRITE;
    }
    void* view = ::mmap(nullptr, static_cast<size_t>(size_), prot, flags, handle_, 0);
    if (view == MAP_FAILED) ThrowSystemError("mmap " + fileName_.string());
    view_ = view;
    SetPointer(static_cast<const uint8_t*>(view_), size_);
}

void TMemoryMappedFileStream::Unmap() {
    if (view_ != nullptr) ::munmap(view_, static_cast<size_t>(size_));
    view_ = nullptr;
    SetPointer(nullptr, 0);
}

void TMemoryMappedFileStream::SetSize(int64_t NewSize) {
    Unmap();
    if (::ftruncate(handle_, std::max<int64_t>(NewSize, 0)) != 0)
        ThrowSystemError("ftruncate " + fileName_.string());
    size_ = std::max<int64_t>(NewSize, 0);
    Map();
}

int64_t TMemoryMappedFileStream::Write(const void* Buffer, int64_t Count) {
    if (pos_ < 0 || Count < 0) return 0;
    if (pos_ > std::numeric_limits<int64_t>::max() - Count) return 0;
    int64_t newEnd = pos_ + Count;
    if (newEnd <= 0) return 0;
    int access = mode_ == fmCreate ? 2 : (mode_ & 3);
    if (access == 0 && !copyOnWrite_) return 0;  // a read-only view cannot take writes
    if (newEnd > size_) SetSize(newEnd);
    std::memcpy(static_cast<uint8_t*>(view_) + pos_, Buffer, static_cast<size_t>(Count));
    pos_ = newEnd;
    return Count;
}

}  // namespace covrilo
