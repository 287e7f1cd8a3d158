// SPDX-License-Identifier: MIT
#include "io/ZlibCodec.h"

#include <zlib.h>

#include <algorithm>
#include <array>

namespace covrilo {

namespace {
constexpr uint32_t kMaxUnknownSize = 64u << 20;
}  // namespace

bool InflateZlib(std::span<const uint8_t> In, uint32_t ExpectedSize, std::vector<uint8_t>& Out) {
    Out.clear();
    const uint64_t limit =
        ExpectedSize != 0 ? std::min<uint64_t>(ExpectedSize, kMaxUnknownSize) : kMaxUnknownSize;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(In.data());
    stream.avail_in = static_cast<uInt>(In.size());
    std::array<uint8_t, 16384> chunk{};
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = chunk.data();
        stream.avail_out = static_cast<uInt>(chunk.size());
        status = inflate(&stream, Z_NO_FLUSH);
        const size_t produced = chunk.size() - stream.avail_out;
        if (Out.size() + produced > limit) {
            status = Z_BUF_ERROR;
            break;
        }
        Out.insert(Out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(produced));
        // No progress without input left means the stream is cut short.
        if (status == Z_OK && produced == 0 && stream.avail_in == 0) status = Z_DATA_ERROR;
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) Out.clear();
    return status == Z_STREAM_END;
}

uint32_t Crc32(std::span<const uint8_t> Bytes, uint32_t Crc) {
    uLong value = Crc;
    // zlib takes lengths as uInt: feed a large span in pieces.
    while (!Bytes.empty()) {
        const size_t piece = std::min<size_t>(Bytes.size(), 1u << 30);
        value = crc32(value, Bytes.data(), static_cast<uInt>(piece));
        Bytes = Bytes.subspan(piece);
    }
    return static_cast<uint32_t>(value);
}

uint32_t Crc32OfZeros(uint64_t Count, uint32_t Crc) {
    static constexpr std::array<uint8_t, 4096> zeros{};
    while (Count > 0) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(Count, zeros.size()));
        Crc = Crc32(std::span<const uint8_t>(zeros.data(), piece), Crc);
        Count -= piece;
    }
    return Crc;
}

}  // namespace covrilo
