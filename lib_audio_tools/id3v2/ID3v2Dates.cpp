// SPDX-License-Identifier: MIT
#include "id3v2/ID3v2Dates.h"

#include <cstdio>

namespace covrilo {

namespace {

bool Digits(std::u16string_view Text, size_t Pos, size_t Count, int& Value) {
    if (Text.size() < Pos + Count) return false;
    Value = 0;
    for (size_t i = Pos; i < Pos + Count; ++i) {
        if (Text[i] < u'0' || Text[i] > u'9') return false;
        Value = Value * 10 + (Text[i] - u'0');
    }
    return true;
}

std::u16string Two(int Value) {
    return {static_cast<char16_t>(u'0' + Value / 10 % 10), static_cast<char16_t>(u'0' + Value % 10)};
}

}  // namespace

std::optional<TID3Timestamp> ParseTimestamp(std::u16string_view Text) {
    TID3Timestamp t;
    if (!Digits(Text, 0, 4, t.Year)) return std::nullopt;
    // Each further part is a separator and two digits: -MM -dd THH :mm :ss.
    static constexpr char16_t kSeparators[] = {u'-', u'-', u'T', u':', u':'};
    int* parts[] = {&t.Month, &t.Day, &t.Hour, &t.Minute, &t.Second};
    size_t pos = 4;
    for (size_t i = 0; i < 5 && pos < Text.size(); ++i) {
        int value = 0;
        if (Text[pos] != kSeparators[i] || !Digits(Text, pos + 1, 2, value)) return std::nullopt;
        *parts[i] = value;
        pos += 3;
    }
    if (pos != Text.size()) return std::nullopt;
    const bool inRange = (t.Month == -1 || (t.Month >= 1 && t.Month <= 12)) &&
                         (t.Day == -1 || (t.Day >= 1 && t.Day <= 31)) && t.Hour <= 23 && t.Minute <= 59 &&
                         t.Second <= 59;
    if (!inRange) return std::nullopt;
    return t;
}

std::u16string FormatTimestamp(const TID3Timestamp& Time) {
    char year[8];
    std::snprintf(year, sizeof year, "%04d", Time.Year % 10000);
    std::u16string out(year, year + 4);
    if (Time.Month < 0) return out;
    out += u"-" + Two(Time.Month);
    if (Time.Day < 0) return out;
    out += u"-" + Two(Time.Day);
    if (Time.Hour < 0) return out;
    out += u"T" + Two(Time.Hour);
    if (Time.Minute < 0) return out;
    out += u":" + Two(Time.Minute);
    if (Time.Second < 0) return out;
    return out + u":" + Two(Time.Second);
}

bool IsYearText(std::u16string_view Text) {
    int year = 0;
    return Text.size() == 4 && Digits(Text, 0, 4, year);
}

std::optional<std::pair<int, int>> ParseDDMM(std::u16string_view Text) {
    int day = 0, month = 0;
    if (Text.size() != 4 || !Digits(Text, 0, 2, day) || !Digits(Text, 2, 2, month)) return std::nullopt;
    if (day < 1 || day > 31 || month < 1 || month > 12) return std::nullopt;
    return std::pair{day, month};
}

std::optional<std::pair<int, int>> ParseHHMM(std::u16string_view Text) {
    int hour = 0, minute = 0;
    if (Text.size() != 4 || !Digits(Text, 0, 2, hour) || !Digits(Text, 2, 2, minute)) return std::nullopt;
    if (hour > 23 || minute > 59) return std::nullopt;
    return std::pair{hour, minute};
}

std::optional<TID3Date23> SplitTimestamp(const TID3Timestamp& Time) {
    if (Time.Second >= 0 || (Time.Month >= 0 && Time.Day < 0) || (Time.Hour >= 0 && Time.Minute < 0))
        return std::nullopt;
    TID3Date23 out;
    out.Year = FormatTimestamp(TID3Timestamp{Time.Year});
    if (Time.Day >= 0) out.Date = Two(Time.Day) + Two(Time.Month);
    if (Time.Minute >= 0) out.Time = Two(Time.Hour) + Two(Time.Minute);
    return out;
}

}  // namespace covrilo
