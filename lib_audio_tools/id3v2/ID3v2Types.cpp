// SPDX-License-Identifier: MIT
#include "id3v2/ID3v2Types.h"

#include <span>
#include <string_view>

#include "io/ByteCursor.h"

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
    return SyncsafeUnmasked32At(std::span<const uint8_t>(Bytes, 4), 0);
}

void EncodeSyncsafe(uint32_t Value, uint8_t Bytes[4]) {
    PutSyncsafe32(std::span<uint8_t>(Bytes, 4), 0, Value);
}

}  // namespace covrilo
