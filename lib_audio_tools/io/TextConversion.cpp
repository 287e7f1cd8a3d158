// SPDX-License-Identifier: MIT
#include "io/TextConversion.h"

#include <array>

namespace covrilo {

namespace {

// Windows-1252 0x80..0x9F; the five undefined bytes map to the C1 control of equal value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

char WideCharToAnsi(char16_t C) {
    if (C < 0x80 || (C >= 0xA0 && C <= 0xFF)) return static_cast<char>(C);
    for (size_t i = 0; i < kCp1252High.size(); ++i)
        if (kCp1252High[i] == C) return static_cast<char>(0x80 + i);
    return '?';
}

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& Out, char32_t Cp) {
    if (Cp < 0x10000) {
        Out.push_back(static_cast<char16_t>(Cp));
    } else {
        Cp -= 0x10000;
        Out.push_back(static_cast<char16_t>(0xD800 + (Cp >> 10)));
        Out.push_back(static_cast<char16_t>(0xDC00 + (Cp & 0x3FF)));
    }
}

// Decodes the code point at i of UTF-16 text and advances i; lone surrogates give U+FFFD.
char32_t NextCodePoint(std::u16string_view Text, size_t& I) {
    char16_t c = Text[I++];
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (I < Text.size() && Text[I] >= 0xDC00 && Text[I] <= 0xDFFF) {
            char16_t low = Text[I++];
            return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (low - 0xDC00);
        }
        return kReplacement;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return kReplacement;
    return c;
}

size_t Utf8Units(char32_t Cp) { return Cp < 0x80 ? 1 : Cp < 0x800 ? 2 : Cp < 0x10000 ? 3 : 4; }

}  // namespace

std::u16string AnsiToWide(std::string_view Text) {
    std::u16string out;
    out.reserve(Text.size());
    for (char ch : Text) {
        auto b = static_cast<unsigned char>(ch);
        out.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
    }
    return out;
}

std::string WideToAnsi(std::u16string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size();) {
        char32_t cp = NextCodePoint(Text, i);
        out.push_back(cp > 0xFFFF ? '?' : WideCharToAnsi(static_cast<char16_t>(cp)));
    }
    return out;
}

std::u16string Latin1ToWide(std::string_view Text) {
    std::u16string out;
    out.reserve(Text.size());
    for (char ch : Text) out.push_back(static_cast<unsigned char>(ch));
    return out;
}

std::string WideToLatin1(std::u16string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size();) {
        char32_t cp = NextCodePoint(Text, i);
        out.push_back(cp <= 0xFF ? static_cast<char>(cp) : '?');
    }
    return out;
}

std::u16string Utf8ToWide(std::string_view Text) {
    std::u16string out;
    out.reserve(Text.size());
    size_t i = 0;
    const size_t n = Text.size();
    while (i < n) {
        auto b0 = static_cast<unsigned char>(Text[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        size_t len = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if ((b0 & 0xE0) == 0xC0) {
            len = 2;
            cp = b0 & 0x1F;
            min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            len = 3;
            cp = b0 & 0x0F;
            min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            len = 4;
            cp = b0 & 0x07;
            min = 0x10000;
        }
        // A malformed sequence becomes one U+FFFD per offending lead or stray byte.
        bool ok = len != 0 && len <= n - i;
        for (size_t k = 1; ok && k < len; ++k) {
            auto bk = static_cast<unsigned char>(Text[i + k]);
            if ((bk & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (bk & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        AppendUtf16(out, cp);
        i += len;
    }
    return out;
}

std::string WideToUtf8(std::u16string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size();) {
        char32_t cp = NextCodePoint(Text, i);
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

size_t Utf8Length(std::u16string_view Text) {
    size_t length = 0;
    for (size_t i = 0; i < Text.size();) length += Utf8Units(NextCodePoint(Text, i));
    return length;
}

bool IsValidUtf8(std::string_view Text) { return WideToUtf8(Utf8ToWide(Text)) == Text; }

bool FitsUtf8(std::u16string_view Text) { return Utf8ToWide(WideToUtf8(Text)) == Text; }

std::string Utf8ToAnsi(std::string_view Text) { return WideToAnsi(Utf8ToWide(Text)); }

std::string AnsiToUtf8(std::string_view Text) { return WideToUtf8(AnsiToWide(Text)); }

}  // namespace covrilo
