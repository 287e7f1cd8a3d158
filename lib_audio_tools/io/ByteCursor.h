// SPDX-License-Identifier: MIT
// Bytes of the tag formats: a checked cursor over a byte span, reads at a fixed offset,
// and writers, each named after the byte order it uses. ID3v2 and FLAC are big-endian,
// Vorbis comments, Ogg pages, APE and ASF little-endian; a syncsafe integer is four bytes
// of seven bits, most significant first.
//
// Nothing here reads or writes outside its span: a cursor read that does not fit answers
// nothing and leaves the cursor where it was; a read at an offset that does not fit
// answers 0; a store that does not fit writes nothing and answers false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace covrilo {

class TByteCursor {
   public:
    // Pos beyond the end puts the cursor at the end.
    explicit TByteCursor(std::span<const uint8_t> Data, size_t Pos = 0);

    size_t Pos() const { return pos_; }
    size_t Size() const { return data_.size(); }
    size_t Remaining() const { return data_.size() - pos_; }

    bool Skip(size_t Length);
    std::optional<uint8_t> U8();
    std::optional<uint16_t> U16LE();
    std::optional<uint16_t> U16BE();
    std::optional<uint32_t> U24BE();
    std::optional<uint32_t> U32LE();
    std::optional<uint32_t> U32BE();
    std::optional<uint64_t> U64LE();
    // Seven bits of each byte; SyncsafeUnmasked32 keeps a set top bit, so that a broken
    // size reads larger (and fails a bounds check) rather than plausibly smaller.
    std::optional<uint32_t> Syncsafe32();
    std::optional<uint32_t> SyncsafeUnmasked32();
    std::optional<std::span<const uint8_t>> Span(size_t Length);
    std::optional<std::string_view> Bytes(size_t Length);

   private:
    template <class T, size_t N, class TDecode>
    std::optional<T> Read(TDecode Decode) {
        auto bytes = Span(N);
        if (!bytes) return std::nullopt;
        return static_cast<T>(Decode(*bytes));
    }

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

// Reads at a fixed offset of a buffer whose length the caller knows; 0 where it does not fit.
uint16_t U16LEAt(std::span<const uint8_t> Data, size_t Offset);
uint16_t U16BEAt(std::span<const uint8_t> Data, size_t Offset);
uint32_t U24BEAt(std::span<const uint8_t> Data, size_t Offset);
uint32_t U32LEAt(std::span<const uint8_t> Data, size_t Offset);
uint32_t U32BEAt(std::span<const uint8_t> Data, size_t Offset);
uint64_t U64LEAt(std::span<const uint8_t> Data, size_t Offset);
uint32_t Syncsafe32At(std::span<const uint8_t> Data, size_t Offset);
uint32_t SyncsafeUnmasked32At(std::span<const uint8_t> Data, size_t Offset);

// Writers appending to a byte vector. A 24-bit or syncsafe value drops the bits it cannot hold.
void AppendU16LE(std::vector<uint8_t>& Out, uint16_t Value);
void AppendU24BE(std::vector<uint8_t>& Out, uint32_t Value);
void AppendU32LE(std::vector<uint8_t>& Out, uint32_t Value);
void AppendU32BE(std::vector<uint8_t>& Out, uint32_t Value);
void AppendU64LE(std::vector<uint8_t>& Out, uint64_t Value);
void AppendSyncsafe32(std::vector<uint8_t>& Out, uint32_t Value);

// Writers into a fixed span at Offset.
bool PutU24BE(std::span<uint8_t> Out, size_t Offset, uint32_t Value);
bool PutU32LE(std::span<uint8_t> Out, size_t Offset, uint32_t Value);
bool PutU32BE(std::span<uint8_t> Out, size_t Offset, uint32_t Value);
bool PutSyncsafe32(std::span<uint8_t> Out, size_t Offset, uint32_t Value);

}  // namespace covrilo
