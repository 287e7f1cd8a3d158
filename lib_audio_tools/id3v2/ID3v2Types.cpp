// SPDX-License-Identifier: MIT
#include "id3v2/ID3v2Types.h"

#include <string_view>

namespace covrilo {

void RaiseAssertion(const std::string& Message, const char* File, int Line) {
    // __FILE__ may carry the build's full path; only the unit's file name is useful to a reader.
    std::string_view name = File != nullptr ? File : "";
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    throw EAssertionFailed(Message + " (" + std::string(name) + ", line " + std::to_string(Line) + ")");
}

uint32_t DecodeSyncsafe(const uint8_t Bytes[4]) {
    // The top bit is not masked off: a byte that breaks the format then gives a larger size,
    // which the callers' bounds checks reject, rather than a plausible smaller one.
    return (static_cast<uint32_t>(Bytes[0]) << 21) | (static_cast<uint32_t>(Bytes[1]) << 14) |
           (static_cast<uint32_t>(Bytes[2]) << 7) | static_cast<uint32_t>(Bytes[3]);
}

void EncodeSyncsafe(uint32_t Value, uint8_t Bytes[4]) {
    Bytes[3] = static_cast<uint8_t>(Value & 0x7F);
    Bytes[2] = static_cast<uint8_t>((Value >> 7) & 0x7F);
    Bytes[1] = static_cast<uint8_t>((Value >> 14) & 0x7F);
    Bytes[0] = static_cast<uint8_t>((Value >> 21) & 0x7F);
}

}  // namespace covrilo
