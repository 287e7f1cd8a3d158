// SPDX-License-Identifier: MIT
// Little-endian byte helpers and a checked cursor over a byte buffer, for the formats whose
// structures are read from memory (Vorbis comments, Ogg pages). The cursor never reads past
// the end of its buffer: a read that does not fit answers nothing and leaves it in place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace covrilo {

// P must point at four readable bytes.
inline uint32_t ReadU32LE(const uint8_t* P) {
    return static_cast<uint32_t>(P[0]) | static_cast<uint32_t>(P[1]) << 8 | static_cast<uint32_t>(P[2]) << 16 |
           static_cast<uint32_t>(P[3]) << 24;
}

inline void AppendU32LE(std::vector<uint8_t>& Out, uint32_t Value) {
    const std::array<uint8_t, 4> bytes = {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8),
                                          static_cast<uint8_t>(Value >> 16), static_cast<uint8_t>(Value >> 24)};
    Out.insert(Out.end(), bytes.begin(), bytes.end());
}

class TByteCursor {
public:
    explicit TByteCursor(std::span<const uint8_t> Data) : data_(Data) {}
    size_t Pos() const { return pos_; }
    size_t Remaining() const { return data_.size() - pos_; }
    std::optional<uint32_t> U32LE() {
        if (Remaining() < 4) return std::nullopt;
        uint32_t value = ReadU32LE(data_.data() + pos_);
        pos_ += 4;
        return value;
    }
    std::optional<std::string_view> Bytes(size_t Length) {
        if (Length > Remaining()) return std::nullopt;
        std::string_view value(reinterpret_cast<const char*>(data_.data() + pos_), Length);
        pos_ += Length;
        return value;
    }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

}  // namespace covrilo
