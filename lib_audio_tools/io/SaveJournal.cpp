// SPDX-License-Identifier: MIT
#include "io/SaveJournal.h"

#include <array>
#include <cstring>
#include <string_view>

#include "io/ByteCursor.h"

namespace covrilo {

namespace {

constexpr std::string_view kMagic = "CVRJRNL2";
// The same with a block shift (its offset and length after the counts).
constexpr std::string_view kShiftMagic = "CVRJRNL3";
constexpr size_t kFixedSize = 8 + 8 + 8 + 8 + 8 + 4 + 4 + 4;

constexpr std::array<uint64_t, 256> MakeCrc64Table() {
    std::array<uint64_t, 256> table{};
    constexpr uint64_t poly = 0xC96C5795D7870F42ull;  // ECMA-182, reflected
    for (uint64_t i = 0; i < 256; ++i) {
        uint64_t crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ poly : crc >> 1;
        table[i] = crc;
    }
    return table;
}
// Slicing by eight: table k gives the CRC of a byte followed by k zero bytes, so eight bytes
// are folded in at once.
constexpr std::array<std::array<uint64_t, 256>, 8> MakeCrc64Slices() {
    std::array<std::array<uint64_t, 256>, 8> slices{};
    slices[0] = MakeCrc64Table();
    for (size_t k = 1; k < 8; ++k)
        for (size_t i = 0; i < 256; ++i)
            slices[k][i] = (slices[k - 1][i] >> 8) ^ slices[0][slices[k - 1][i] & 0xFF];
    return slices;
}
constexpr std::array<std::array<uint64_t, 256>, 8> kCrc64Slices = MakeCrc64Slices();
constexpr const std::array<uint64_t, 256>& kCrc64Table = kCrc64Slices[0];

bool ValidRange(int64_t Offset, int64_t Length) {
    return Offset >= 0 && Length >= 0 && Offset <= kMaxJournalBytes * 64 && Length <= kMaxJournalBytes;
}

}  // namespace

uint64_t Crc64(std::span<const uint8_t> Bytes, uint64_t Crc) {
    uint64_t crc = ~Crc;
    size_t i = 0;
    for (; Bytes.size() - i >= 8; i += 8) {
        uint64_t word = 0;
        for (size_t k = 0; k < 8; ++k) word |= uint64_t{Bytes[i + k]} << (8 * k);
        crc ^= word;
        crc = kCrc64Slices[7][crc & 0xFF] ^ kCrc64Slices[6][(crc >> 8) & 0xFF] ^
              kCrc64Slices[5][(crc >> 16) & 0xFF] ^ kCrc64Slices[4][(crc >> 24) & 0xFF] ^
              kCrc64Slices[3][(crc >> 32) & 0xFF] ^ kCrc64Slices[2][(crc >> 40) & 0xFF] ^
              kCrc64Slices[1][(crc >> 48) & 0xFF] ^ kCrc64Slices[0][crc >> 56];
    }
    for (; i < Bytes.size(); ++i) crc = kCrc64Table[(crc ^ Bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::vector<uint8_t> TSaveJournal::Serialize() const {
    const std::string_view magic = ShiftLength != 0 ? kShiftMagic : kMagic;
    std::vector<uint8_t> out(magic.begin(), magic.end());
    size_t total = 0;
    for (const auto& bytes : OldBytes) total += bytes.size();
    for (const auto& bytes : NewBytes) total += bytes.size();
    out.reserve(kFixedSize + 16 * (OldRegions.size() + NewRegions.size()) + 24 * Probes.size() + 8 + total);
    AppendU64LE(out, Device);
    AppendU64LE(out, Inode);
    AppendU64LE(out, static_cast<uint64_t>(OldSize));
    AppendU64LE(out, static_cast<uint64_t>(NewSize));
    AppendU32LE(out, static_cast<uint32_t>(OldRegions.size()));
    AppendU32LE(out, static_cast<uint32_t>(NewRegions.size()));
    AppendU32LE(out, static_cast<uint32_t>(Probes.size()));
    if (ShiftLength != 0) {
        AppendU64LE(out, static_cast<uint64_t>(ShiftOffset));
        AppendU64LE(out, static_cast<uint64_t>(ShiftLength));
    }
    for (const auto& r : OldRegions) {
        AppendU64LE(out, static_cast<uint64_t>(r.Offset));
        AppendU64LE(out, static_cast<uint64_t>(r.Length));
    }
    for (const auto& r : NewRegions) {
        AppendU64LE(out, static_cast<uint64_t>(r.Offset));
        AppendU64LE(out, static_cast<uint64_t>(r.Length));
    }
    for (const auto& p : Probes) {
        AppendU64LE(out, static_cast<uint64_t>(p.Offset));
        AppendU64LE(out, static_cast<uint64_t>(p.Length));
        AppendU64LE(out, p.Checksum);
    }
    for (const auto& bytes : OldBytes) out.insert(out.end(), bytes.begin(), bytes.end());
    for (const auto& bytes : NewBytes) out.insert(out.end(), bytes.begin(), bytes.end());
    AppendU64LE(out, Crc64(out));
    return out;
}

std::optional<TSaveJournal> TSaveJournal::Parse(std::span<const uint8_t> Bytes) {
    if (Bytes.size() < kFixedSize + 8) return std::nullopt;
    const auto body = Bytes.first(Bytes.size() - 8);
    TByteCursor check(Bytes.last(8));
    if (check.U64LE() != Crc64(body)) return std::nullopt;
    const bool shifted = std::memcmp(body.data(), kShiftMagic.data(), kShiftMagic.size()) == 0;
    if (!shifted && std::memcmp(body.data(), kMagic.data(), kMagic.size()) != 0) return std::nullopt;

    TByteCursor in(body.subspan(kMagic.size()));
    TSaveJournal j;
    j.Device = *in.U64LE();
    j.Inode = *in.U64LE();
    j.OldSize = static_cast<int64_t>(*in.U64LE());
    j.NewSize = static_cast<int64_t>(*in.U64LE());
    const uint64_t oldCount = *in.U32LE(), newCount = *in.U32LE(), probeCount = *in.U32LE();
    if (!ValidRange(0, j.OldSize) || !ValidRange(0, j.NewSize)) return std::nullopt;
    if (oldCount > kMaxJournalRegions || newCount > kMaxJournalRegions || probeCount > kMaxJournalRegions)
        return std::nullopt;
    if (shifted) {
        const auto offset = in.U64LE(), length = in.U64LE();
        if (!offset || !length) return std::nullopt;
        j.ShiftOffset = static_cast<int64_t>(*offset);
        j.ShiftLength = static_cast<int64_t>(*length);
        // The shift lies inside both files and changes the size by its length.
        const int64_t magnitude = j.ShiftLength < 0 ? -j.ShiftLength : j.ShiftLength;
        if (j.ShiftLength == 0 || j.ShiftLength < -kMaxJournalBytes || j.ShiftLength > kMaxJournalBytes ||
            !ValidRange(j.ShiftOffset, magnitude) || j.ShiftOffset > std::min(j.OldSize, j.NewSize))
            return std::nullopt;
    }
    auto readRegions = [&](uint64_t Count, std::vector<TJournalRegion>& Into, int64_t Limit) {
        for (uint64_t i = 0; i < Count; ++i) {
            const auto offset = in.U64LE(), length = in.U64LE();
            if (!offset || !length) return false;
            TJournalRegion r{static_cast<int64_t>(*offset), static_cast<int64_t>(*length)};
            if (!ValidRange(r.Offset, r.Length) || r.Offset > Limit || r.Length > Limit - r.Offset)
                return false;
            Into.push_back(r);
        }
        return true;
    };
    if (!readRegions(oldCount, j.OldRegions, j.OldSize)) return std::nullopt;
    if (!readRegions(newCount, j.NewRegions, j.NewSize)) return std::nullopt;
    for (uint64_t i = 0; i < probeCount; ++i) {
        const auto offset = in.U64LE(), length = in.U64LE(), crc = in.U64LE();
        if (!offset || !length || !crc) return std::nullopt;
        TJournalProbe p{static_cast<int64_t>(*offset), static_cast<int64_t>(*length), *crc};
        if (!ValidRange(p.Offset, p.Length)) return std::nullopt;
        j.Probes.push_back(p);
    }
    for (const auto& r : j.OldRegions) {
        const auto bytes = in.Span(static_cast<size_t>(r.Length));
        if (!bytes) return std::nullopt;
        j.OldBytes.emplace_back(bytes->begin(), bytes->end());
    }
    for (const auto& r : j.NewRegions) {
        const auto bytes = in.Span(static_cast<size_t>(r.Length));
        if (!bytes) return std::nullopt;
        j.NewBytes.emplace_back(bytes->begin(), bytes->end());
    }
    if (in.Remaining() != 0) return std::nullopt;
    return j;
}

}  // namespace covrilo
