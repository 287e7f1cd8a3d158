// SPDX-License-Identifier: MIT
#include "io/SaveJournal.h"

#include <array>
#include <cstring>
#include <string_view>

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

void PutU32(std::vector<uint8_t>& Out, uint32_t Value) {
    for (int i = 0; i < 4; ++i) Out.push_back(static_cast<uint8_t>(Value >> (8 * i)));
}
void PutU64(std::vector<uint8_t>& Out, uint64_t Value) {
    for (int i = 0; i < 8; ++i) Out.push_back(static_cast<uint8_t>(Value >> (8 * i)));
}

// A cursor that never reads past its end.
class TReader {
public:
    explicit TReader(std::span<const uint8_t> Bytes) : bytes_(Bytes) {}
    size_t Remaining() const { return bytes_.size() - pos_; }
    std::optional<uint64_t> U(size_t Width) {
        if (Width > Remaining()) return std::nullopt;
        uint64_t value = 0;
        for (size_t i = 0; i < Width; ++i) value |= uint64_t{bytes_[pos_ + i]} << (8 * i);
        pos_ += Width;
        return value;
    }
    std::optional<std::span<const uint8_t>> Take(size_t Length) {
        if (Length > Remaining()) return std::nullopt;
        auto part = bytes_.subspan(pos_, Length);
        pos_ += Length;
        return part;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

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
        crc = kCrc64Slices[7][crc & 0xFF] ^ kCrc64Slices[6][(crc >> 8) & 0xFF] ^ kCrc64Slices[5][(crc >> 16) & 0xFF] ^
              kCrc64Slices[4][(crc >> 24) & 0xFF] ^ kCrc64Slices[3][(crc >> 32) & 0xFF] ^
              kCrc64Slices[2][(crc >> 40) & 0xFF] ^ kCrc64Slices[1][(crc >> 48) & 0xFF] ^ kCrc64Slices[0][crc >> 56];
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
    PutU64(out, Device);
    PutU64(out, Inode);
    PutU64(out, static_cast<uint64_t>(OldSize));
    PutU64(out, static_cast<uint64_t>(NewSize));
    PutU32(out, static_cast<uint32_t>(OldRegions.size()));
    PutU32(out, static_cast<uint32_t>(NewRegions.size()));
    PutU32(out, static_cast<uint32_t>(Probes.size()));
    if (ShiftLength != 0) {
        PutU64(out, static_cast<uint64_t>(ShiftOffset));
        PutU64(out, static_cast<uint64_t>(ShiftLength));
    }
    for (const auto& r : OldRegions) {
        PutU64(out, static_cast<uint64_t>(r.Offset));
        PutU64(out, static_cast<uint64_t>(r.Length));
    }
    for (const auto& r : NewRegions) {
        PutU64(out, static_cast<uint64_t>(r.Offset));
        PutU64(out, static_cast<uint64_t>(r.Length));
    }
    for (const auto& p : Probes) {
        PutU64(out, static_cast<uint64_t>(p.Offset));
        PutU64(out, static_cast<uint64_t>(p.Length));
        PutU64(out, p.Checksum);
    }
    for (const auto& bytes : OldBytes) out.insert(out.end(), bytes.begin(), bytes.end());
    for (const auto& bytes : NewBytes) out.insert(out.end(), bytes.begin(), bytes.end());
    PutU64(out, Crc64(out));
    return out;
}

std::optional<TSaveJournal> TSaveJournal::Parse(std::span<const uint8_t> Bytes) {
    if (Bytes.size() < kFixedSize + 8) return std::nullopt;
    const auto body = Bytes.first(Bytes.size() - 8);
    TReader check(Bytes.last(8));
    if (check.U(8) != Crc64(body)) return std::nullopt;
    const bool shifted = std::memcmp(body.data(), kShiftMagic.data(), kShiftMagic.size()) == 0;
    if (!shifted && std::memcmp(body.data(), kMagic.data(), kMagic.size()) != 0) return std::nullopt;

    TReader in(body.subspan(kMagic.size()));
    TSaveJournal j;
    j.Device = *in.U(8);
    j.Inode = *in.U(8);
    j.OldSize = static_cast<int64_t>(*in.U(8));
    j.NewSize = static_cast<int64_t>(*in.U(8));
    const uint64_t oldCount = *in.U(4), newCount = *in.U(4), probeCount = *in.U(4);
    if (!ValidRange(0, j.OldSize) || !ValidRange(0, j.NewSize)) return std::nullopt;
    if (oldCount > kMaxJournalRegions || newCount > kMaxJournalRegions || probeCount > kMaxJournalRegions)
        return std::nullopt;
    if (shifted) {
        const auto offset = in.U(8), length = in.U(8);
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
            const auto offset = in.U(8), length = in.U(8);
            if (!offset || !length) return false;
            TJournalRegion r{static_cast<int64_t>(*offset), static_cast<int64_t>(*length)};
            if (!ValidRange(r.Offset, r.Length) || r.Offset > Limit || r.Length > Limit - r.Offset) return false;
            Into.push_back(r);
        }
        return true;
    };
    if (!readRegions(oldCount, j.OldRegions, j.OldSize)) return std::nullopt;
    if (!readRegions(newCount, j.NewRegions, j.NewSize)) return std::nullopt;
    for (uint64_t i = 0; i < probeCount; ++i) {
        const auto offset = in.U(8), length = in.U(8), crc = in.U(8);
        if (!offset || !length || !crc) return std::nullopt;
        TJournalProbe p{static_cast<int64_t>(*offset), static_cast<int64_t>(*length), *crc};
        if (!ValidRange(p.Offset, p.Length)) return std::nullopt;
        j.Probes.push_back(p);
    }
    for (const auto& r : j.OldRegions) {
        const auto bytes = in.Take(static_cast<size_t>(r.Length));
        if (!bytes) return std::nullopt;
        j.OldBytes.emplace_back(bytes->begin(), bytes->end());
    }
    for (const auto& r : j.NewRegions) {
        const auto bytes = in.Take(static_cast<size_t>(r.Length));
        if (!bytes) return std::nullopt;
        j.NewBytes.emplace_back(bytes->begin(), bytes->end());
    }
    if (in.Remaining() != 0) return std::nullopt;
    return j;
}

}  // namespace covrilo
