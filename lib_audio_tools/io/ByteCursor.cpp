// SPDX-License-Identifier: MIT
#include "io/ByteCursor.h"

#include <algorithm>
#include <array>

namespace covrilo {

namespace {

// Every decoder below gets exactly the bytes of its width, checked by its caller.
uint32_t BigEndian(std::span<const uint8_t> Bytes) {
    uint32_t v = 0;
    for (uint8_t b : Bytes) v = (v << 8) | b;
    return v;
}

uint64_t LittleEndian(std::span<const uint8_t> Bytes) {
    uint64_t v = 0;
    for (size_t i = Bytes.size(); i-- > 0;) v = (v << 8) | Bytes[i];
    return v;
}

uint32_t SyncsafeWithMask(std::span<const uint8_t> Bytes, uint8_t Mask) {
    uint32_t v = 0;
    for (uint8_t b : Bytes) v = (v << 7) | (b & Mask);
    return v;
}

uint32_t Syncsafe(std::span<const uint8_t> Bytes) { return SyncsafeWithMask(Bytes, 0x7F); }
uint32_t SyncsafeUnmasked(std::span<const uint8_t> Bytes) { return SyncsafeWithMask(Bytes, 0xFF); }

std::array<uint8_t, 4> SyncsafeBytes(uint32_t Value) {
    return {static_cast<uint8_t>((Value >> 21) & 0x7F), static_cast<uint8_t>((Value >> 14) & 0x7F),
            static_cast<uint8_t>((Value >> 7) & 0x7F), static_cast<uint8_t>(Value & 0x7F)};
}

template <size_t N>
std::array<uint8_t, N> BigEndianBytes(uint32_t Value) {
    std::array<uint8_t, N> out{};
    for (size_t i = 0; i < N; ++i) out[i] = static_cast<uint8_t>(Value >> (8 * (N - 1 - i)));
    return out;
}

template <size_t N>
std::array<uint8_t, N> LittleEndianBytes(uint64_t Value) {
    std::array<uint8_t, N> out{};
    for (size_t i = 0; i < N; ++i) out[i] = static_cast<uint8_t>(Value >> (8 * i));
    return out;
}

template <class T, size_t N, class TDecode>
T ReadAt(std::span<const uint8_t> Data, size_t Offset, TDecode Decode) {
    if (Offset > Data.size() || N > Data.size() - Offset) return 0;
    return static_cast<T>(Decode(Data.subspan(Offset, N)));
}

template <size_t N>
bool Put(std::span<uint8_t> Out, size_t Offset, const std::array<uint8_t, N>& Bytes) {
    if (Offset > Out.size() || N > Out.size() - Offset) return false;
    std::copy(Bytes.begin(), Bytes.end(), Out.begin() + static_cast<std::ptrdiff_t>(Offset));
    return true;
}

template <size_t N>
void Append(std::vector<uint8_t>& Out, const std::array<uint8_t, N>& Bytes) {
    Out.insert(Out.end(), Bytes.begin(), Bytes.end());
}

}  // namespace

TByteCursor::TByteCursor(std::span<const uint8_t> Data, size_t Pos)
    : data_(Data), pos_(std::min(Pos, Data.size())) {}

bool TByteCursor::Skip(size_t Length) {
    if (Length > Remaining()) return false;
    pos_ += Length;
    return true;
}

std::optional<std::span<const uint8_t>> TByteCursor::Span(size_t Length) {
    if (Length > Remaining()) return std::nullopt;
    std::span<const uint8_t> bytes = data_.subspan(pos_, Length);
    pos_ += Length;
    return bytes;
}

std::optional<std::string_view> TByteCursor::Bytes(size_t Length) {
    auto bytes = Span(Length);
    if (!bytes) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

std::optional<uint8_t> TByteCursor::U8() { return Read<uint8_t, 1>(LittleEndian); }
std::optional<uint16_t> TByteCursor::U16LE() { return Read<uint16_t, 2>(LittleEndian); }
std::optional<uint16_t> TByteCursor::U16BE() { return Read<uint16_t, 2>(BigEndian); }
std::optional<uint32_t> TByteCursor::U24BE() { return Read<uint32_t, 3>(BigEndian); }
std::optional<uint32_t> TByteCursor::U32LE() { return Read<uint32_t, 4>(LittleEndian); }
std::optional<uint32_t> TByteCursor::U32BE() { return Read<uint32_t, 4>(BigEndian); }
std::optional<uint64_t> TByteCursor::U64LE() { return Read<uint64_t, 8>(LittleEndian); }
std::optional<uint32_t> TByteCursor::Syncsafe32() { return Read<uint32_t, 4>(Syncsafe); }
std::optional<uint32_t> TByteCursor::SyncsafeUnmasked32() { return Read<uint32_t, 4>(SyncsafeUnmasked); }

uint16_t U16LEAt(std::span<const uint8_t> Data, size_t Offset) {
    return ReadAt<uint16_t, 2>(Data, Offset, LittleEndian);
}
uint16_t U16BEAt(std::span<const uint8_t> Data, size_t Offset) {
    return ReadAt<uint16_t, 2>(Data, Offset, BigEndian);
}
uint32_t U24BEAt(std::span<const uint8_t> Data, size_t Offset) {
    return ReadAt<uint32_t, 3>(Data, Offset, BigEndian);
}
uint32_t U32LEAt(std::span<const uint8_t> Data, size_t Offset) {
    return ReadAt<uint32_t, 4>(Data, Offset, LittleEndian);
}
uint32_t U32BEAt(std::span<const uint8_t> Data, size_t Offset) {
    return ReadAt<uint32_t, 4>(Data, Offset, BigEndian);
}
uint64_t U64LEAt(std::span<const uint8_t> Data, size_t Offset) {
    return ReadAt<uint64_t, 8>(Data, Offset, LittleEndian);
}
uint32_t Syncsafe32At(std::span<const uint8_t> Data, size_t Offset) {
    return ReadAt<uint32_t, 4>(Data, Offset, Syncsafe);
}
uint32_t SyncsafeUnmasked32At(std::span<const uint8_t> Data, size_t Offset) {
    return ReadAt<uint32_t, 4>(Data, Offset, SyncsafeUnmasked);
}

void AppendU16LE(std::vector<uint8_t>& Out, uint16_t Value) { Append(Out, LittleEndianBytes<2>(Value)); }
void AppendU24BE(std::vector<uint8_t>& Out, uint32_t Value) { Append(Out, BigEndianBytes<3>(Value)); }
void AppendU32LE(std::vector<uint8_t>& Out, uint32_t Value) { Append(Out, LittleEndianBytes<4>(Value)); }
void AppendU32BE(std::vector<uint8_t>& Out, uint32_t Value) { Append(Out, BigEndianBytes<4>(Value)); }
void AppendU64LE(std::vector<uint8_t>& Out, uint64_t Value) { Append(Out, LittleEndianBytes<8>(Value)); }
void AppendSyncsafe32(std::vector<uint8_t>& Out, uint32_t Value) { Append(Out, SyncsafeBytes(Value)); }

bool PutU24BE(std::span<uint8_t> Out, size_t Offset, uint32_t Value) {
    return Put(Out, Offset, BigEndianBytes<3>(Value));
}
bool PutU32LE(std::span<uint8_t> Out, size_t Offset, uint32_t Value) {
    return Put(Out, Offset, LittleEndianBytes<4>(Value));
}
bool PutU32BE(std::span<uint8_t> Out, size_t Offset, uint32_t Value) {
    return Put(Out, Offset, BigEndianBytes<4>(Value));
}
bool PutSyncsafe32(std::span<uint8_t> Out, size_t Offset, uint32_t Value) {
    return Put(Out, Offset, SyncsafeBytes(Value));
}

}  // namespace covrilo
