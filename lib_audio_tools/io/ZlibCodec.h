// SPDX-License-Identifier: MIT
// The two zlib services the tag code needs: inflating the content of a compressed ID3v2
// frame, and the CRC-32 (ISO 3309) of an ID3v2 extended header.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace covrilo {

// Inflates a zlib stream into Out. ExpectedSize is the size the frame declares (0: not
// known); the output is never allowed to grow beyond it (or beyond 64 MiB when it is not
// known), so a forged stream cannot exhaust memory. False for a stream that is damaged,
// truncated, or larger than allowed.
bool InflateZlib(std::span<const uint8_t> In, uint32_t ExpectedSize, std::vector<uint8_t>& Out);

// CRC-32 of Bytes, continuing from Crc (0 to start).
uint32_t Crc32(std::span<const uint8_t> Bytes, uint32_t Crc = 0);
// CRC-32 of Count zero bytes, continuing from Crc.
uint32_t Crc32OfZeros(uint64_t Count, uint32_t Crc);

}  // namespace covrilo
