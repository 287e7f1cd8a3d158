// SPDX-License-Identifier: MIT
#include "multitag/class_track.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace covrilo {

uint8_t TrackNumberFromText(const std::string& Text) {
    if (Text.empty()) return 0;
    size_t i = Text.find_first_not_of(' ');
    if (i == std::string::npos) throw EConvertError("'" + Text + "' is not a valid integer value");
    bool negative = false;
    if (Text[i] == '+' || Text[i] == '-') {
        negative = Text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    const char* first = Text.data() + i;
    const char* last = Text.data() + Text.size();
    auto [end, ec] = std::from_chars(first, last, value);
    // Whole text, decimal digits only, within the 32-bit range of the original conversion.
    if (first == last || ec != std::errc() || end != last || *first == '+' || *first == '-' ||
        value > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + (negative ? 1 : 0))
        throw EConvertError("'" + Text + "' is not a valid integer value");
    if (negative) value = -value;
    return static_cast<uint8_t>(static_cast<uint64_t>(value) & 0xFF);
}

}  // namespace covrilo
