// SPDX-License-Identifier: MIT
// Dates of ID3v2 tags. 2.4 holds a recording time in one timestamp ("TDRC",
// yyyy[-MM[-dd[THH[:mm[:ss]]]]]); 2.3 spreads it over "TYER" (yyyy), "TDAT" (DDMM) and
// "TIME" (HHMM). The ID3v2.4 standard replaces the three by the one, and "TORY" (the year)
// by "TDOR" (a timestamp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace covrilo {

struct TID3Timestamp {
    int Year = 0;
    // -1 where the timestamp stops before the part.
    int Month = -1, Day = -1, Hour = -1, Minute = -1, Second = -1;

    bool operator==(const TID3Timestamp&) const = default;
};

// A timestamp as 2.4 writes it, with its parts in range; nothing for anything else.
std::optional<TID3Timestamp> ParseTimestamp(std::u16string_view Text);
std::u16string FormatTimestamp(const TID3Timestamp& Time);

// Four digits ("TYER", "TORY"), DDMM ("TDAT"), HHMM ("TIME"), each checked for range.
bool IsYearText(std::u16string_view Text);
std::optional<std::pair<int, int>> ParseDDMM(std::u16string_view Text);  // day, month
std::optional<std::pair<int, int>> ParseHHMM(std::u16string_view Text);  // hour, minute

// The 2.3 frames of a timestamp: the year, DDMM when it has a day, HHMM when it has a
// minute. Nothing when the 2.3 frames cannot hold it whole (seconds, a month without a day,
// an hour without minutes).
struct TID3Date23 {
    std::u16string Year;
    std::u16string Date;  // "" when none
    std::u16string Time;  // "" when none
};
std::optional<TID3Date23> SplitTimestamp(const TID3Timestamp& Time);

}  // namespace covrilo
