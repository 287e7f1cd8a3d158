// SPDX-License-Identifier: MIT
// The ID3v2 engine's genre table and its lookups: genre text to number, and number to the
// "(n)" form used in TCON frames.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace covrilo {

inline constexpr int ID3_GENRE_COUNT = 149;

// Indexed by genre number: the ID3v1 list 0..79, the common extension 80..147, 148 "Unknown".
extern const std::array<const char*, ID3_GENRE_COUNT> ID3Genres;

class TID3GenreData {
   public:
    // Takes the first genre entry off a TCON-style text: Text loses the entry, Token gets it.
    void ExtractGenre(std::string& Text, std::string& Token) const;
    // True when every character is a decimal digit; the empty text counts as digits only.
    bool IsDigitsOnly(const std::string& Text) const;
    // The genre number of the first entry of Text: a number as written (low 8 bits), else the
    // case-insensitive index of a table name; Default when neither applies.
    uint8_t GenreTextToIndex(const std::string& Text, uint8_t Default) const;
    // "(n)".
    std::string GenreNumberToText(uint8_t Number) const;
};

}  // namespace covrilo
