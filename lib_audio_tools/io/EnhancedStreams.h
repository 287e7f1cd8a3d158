// SPDX-License-Identifier: MIT
// Byte streams used by the tag code: an abstract stream with bounded reads, a growable
// memory stream, a read-only view over memory, and the two file streams that open files
// by name with an access and sharing mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace covrilo {

// A file operation that failed. what() is the whole message ("Cannot open file x.mp3:
// locked by another program"); Reason() is the cause alone ("locked by another program"),
// for callers that name the file themselves.
class EFileError : public std::runtime_error {
   public:
    explicit EFileError(const std::string& Message) : std::runtime_error(Message), reason_(Message) {}
    EFileError(const std::string& Message, std::string Reason)
        : std::runtime_error(Message), reason_(std::move(Reason)) {}
    const std::string& Reason() const { return reason_; }

   private:
    std::string reason_;
};

// Raised when an existing file cannot be opened with the requested access or sharing.
class EFOpenError : public EFileError {
   public:
    using EFileError::EFileError;
};

// Raised when a file cannot be created.
class EFCreateError : public EFileError {
   public:
    using EFileError::EFileError;
};

// A read that failed (an I/O error, or the file changed while it was read). Never to be
// taken for "no tag".
class EFReadError : public EFileError {
   public:
    using EFileError::EFileError;
};

// A write or sync that failed. Whoever raises it says in the message what became of the file.
class EFWriteError : public EFileError {
   public:
    using EFileError::EFileError;
};

// A save refused before the file was touched (it changed since it was read, it cannot be
// rewritten without losing its owner or a hard link, ...): the file is exactly as it was.
class EFileRefused : public EFileError {
   public:
    using EFileError::EFileError;
};

// The cause of a failed system call in words: "permission denied", "locked by another
// program", "not found", "no space left on the device", ...
std::string FileErrorReason(int Errno);
// The reason a caller shows for an exception: Reason() of an EFileError, else what().
std::string ErrorReason(const std::exception& Error);

// What identifies a file and its content for as long as nobody writes it: a save checks it
// to know that the file is still the one it read.
struct TFileIdentity {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;  // mtime in nanoseconds
    int64_t ChangedNs = 0;   // ctime in nanoseconds
    bool operator==(const TFileIdentity&) const = default;
    // The same file, whatever its content.
    bool SameFile(const TFileIdentity& Other) const { return Device == Other.Device && Inode == Other.Inode; }
};
// The identity of an open file; raises EFReadError when fstat fails.
TFileIdentity IdentityOf(int Handle, const std::filesystem::path& FileName);

// Open modes: the low two bits are the access, bits 4..7 what others may do meanwhile.
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareCompat = 0x0000;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyRead = 0x0030;
inline constexpr uint16_t fmShareDenyNone = 0x0040;
// Create a new empty file (an existing one is truncated), read and write, exclusive.
inline constexpr uint16_t fmCreate = 0xFFFF;

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A positioned byte stream. Read never goes past the end of the data: it returns the
// number of bytes actually read, which is less than asked for at the end.
class TStream {
   public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to Count bytes; returns the number read (0 at the end or for Count <= 0).
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    // Writes Count bytes; returns the number written.
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    // Moves the position and returns the new one (a position past the end is allowed).
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
    virtual int64_t Size();
    // Sets the size (truncating or growing with zero bytes); the position is kept.
    virtual void SetSize(int64_t NewSize) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }
    // Bytes between the position and the end (0 when the position is past the end).
    int64_t Remaining();

    // Convenience wrappers over Read/Write.
    int64_t Read(std::span<uint8_t> Buffer) {
        return Read(Buffer.data(), static_cast<int64_t>(Buffer.size()));
    }
    int64_t Write(std::span<const uint8_t> Buffer) {
        return Write(Buffer.data(), static_cast<int64_t>(Buffer.size()));
    }
    // Reads at most Count bytes (never more than what is left) into a new vector.
    std::vector<uint8_t> ReadBytes(int64_t Count);
    // Exactly Count bytes from position Pos, or nothing when they are not all there.
    std::optional<std::vector<uint8_t>> ReadBytesAt(int64_t Pos, int64_t Count);
    // Copies Count bytes from Source at its position (Count 0: everything from Source's
    // position to its end). Returns the number of bytes copied.
    int64_t CopyFrom(TStream& Source, int64_t Count);
};

// A growable stream over a byte vector it owns.
class TMemoryStream : public TStream {
   public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> Data) : data_(std::move(Data)) {}

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t NewSize) override;
    void Clear() {
        data_.clear();
        pos_ = 0;
    }

    const std::vector<uint8_t>& Data() const { return data_; }
    std::vector<uint8_t>& Data() { return data_; }

   private:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};

// A read-only stream over memory owned by someone else (or by a derived class).
class TCustomMemoryStream : public TStream {
   public:
    TCustomMemoryStream() = default;
    explicit TCustomMemoryStream(std::span<const uint8_t> Memory) : memory_(Memory) {}

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;  // unsupported: writes nothing
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override { return static_cast<int64_t>(memory_.size()); }
    void SetSize(int64_t NewSize) override;  // unsupported: throws std::logic_error

    std::span<const uint8_t> Memory() const { return memory_; }

   protected:
    void SetPointer(const uint8_t* Ptr, int64_t Size);
    int64_t pos_ = 0;

   private:
    std::span<const uint8_t> memory_;
};

// A stream over an open POSIX file descriptor; reads and writes go straight to the file.
// A read or write that the system refuses raises EFReadError / EFWriteError: a short count
// only ever means the end of the file.
class THandleStream : public TStream {
   public:
    explicit THandleStream(int Handle) : handle_(Handle) {}

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override;
    void SetSize(int64_t NewSize) override;
    int Handle() const { return handle_; }
    // Flushes the file's data to the disk (fsync); throws std::system_error on failure.
    void Flush();
    // The identity of the file as it stands now.
    TFileIdentity Identity();

   protected:
    int handle_;
    int64_t pos_ = 0;
};

// A file opened by name. Mode fmCreate makes a new empty file, any other mode opens an
// existing file with the access and sharing bits of the mode (sharing emulated by flock).
class TUnicodeFileStream : public THandleStream {
   public:
    TUnicodeFileStream(const std::filesystem::path& FileName, uint16_t Mode);
    ~TUnicodeFileStream() override;

    const std::filesystem::path& FileName() const { return fileName_; }

   private:
    std::filesystem::path fileName_;
};

// A file read (and grown on write) through a memory mapping of all of it. Size 0 maps
// nothing. A Write past the end grows the file to exactly the end of the write.
class TMemoryMappedFileStream : public TCustomMemoryStream {
   public:
    TMemoryMappedFileStream(const std::filesystem::path& FileName, bool CopyOnWrite,
                            const std::string& MappingName, uint16_t Mode);
    // Maps a file that the caller already holds open (and locked) for reading; the handle
    // stays the caller's and is not closed here.
    TMemoryMappedFileStream(int BorrowedHandle, const std::filesystem::path& FileName);
    ~TMemoryMappedFileStream() override;

    // The identity of the file as it stands now.
    TFileIdentity Identity() const { return IdentityOf(handle_, fileName_); }

    int64_t Write(const void* Buffer, int64_t Count) override;
    void SetSize(int64_t NewSize) override;

    const std::filesystem::path& FileName() const { return fileName_; }
    uint16_t Mode() const { return mode_; }
    const std::string& MappingName() const { return mappingName_; }
    bool CopyOnWrite() const { return copyOnWrite_; }
    bool IsMapped() const { return view_ != nullptr; }

   private:
    void Map();
    void Unmap();

    std::filesystem::path fileName_;
    uint16_t mode_;
    std::string mappingName_;
    bool copyOnWrite_;
    int handle_ = -1;
    bool ownsHandle_ = true;
    void* view_ = nullptr;
    int64_t size_ = 0;
};

}  // namespace covrilo
