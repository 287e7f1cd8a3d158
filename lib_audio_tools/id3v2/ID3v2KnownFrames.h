// SPDX-License-Identifier: MIT
// The known-frame table: names of frames and the mapping between the 3-character
// identifiers of ID3v2.2 and the 4-character identifiers of 2.3/2.4.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace covrilo {

struct TKnownFrame {
    char ID22[4];      // 2.2 identifier, "\0\0\0" when the frame has none (zero-terminated)
    char ID[5];        // 2.3/2.4 identifier (zero-terminated)
    uint8_t Versions;  // bit 1 = 2.2, bit 2 = 2.3, bit 4 = 2.4
    const char* Name;
    const char* Description;
};

// The 92 rows in table order.
std::span<const TKnownFrame> KnownFrames();
// First row whose 4-character or 3-character identifier equals ID (case-sensitive); null if none.
const TKnownFrame* FindKnownFrame(std::string_view ID);
// 2.2 -> 2.3/2.4 identifier: table row, else one of the common non-standard 2.2 identifiers
// (iTunes' "TCP" -> "TCMP", "TST" -> "TSOT", ...), else an experimental 'X'/'Y'/'Z'
// identifier with its first letter doubled. False when there is no conversion.
bool ConvertID22To23(std::string_view ID22, std::string& ID);
// 2.3/2.4 -> 2.2 identifier: one of the non-standard 2.2 identifiers above, else the table
// row with a 2.2 identifier, else a doubled 'X'/'Y'/'Z' prefix dropped. False when there is
// no conversion.
bool ConvertID23To22(std::string_view ID, std::string& ID22);

}  // namespace covrilo
