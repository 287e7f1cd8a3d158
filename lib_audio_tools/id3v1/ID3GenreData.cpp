// SPDX-License-Identifier: MIT
#include "id3v1/ID3GenreData.h"

#include <cstdio>
#include <string_view>

#include "io/AsciiText.h"

namespace covrilo {

const std::array<const char*, ID3_GENRE_COUNT> ID3Genres = {
    "Blues",
    "Classic Rock",
    "Country",
    "Dance",
    "Disco",
    "Funk",
    "Grunge",
    "Hip-Hop",
    "Jazz",
    "Metal",
    "New Age",
    "Oldies",
    "Other",
    "Pop",
    "R&B",
    "Rap",
    "Reggae",
    "Rock",
    "Techno",
    "Industrial",
    "Alternative",
    "Ska",
    "Death Metal",
    "Pranks",
    "Soundtrack",
    "Euro-Techno",
    "Ambient",
    "Trip-Hop",
    "Vocal",
    "Jazz+Funk",
    "Fusion",
    "Trance",
    "Classical",
    "Instrumental",
    "Acid",
    "House",
    "Game",
    "Sound Clip",
    "Gospel",
    "Noise",
    "AlternRock",
    "Bass",
    "Soul",
    "Punk",
    "Space",
    "Meditative",
    "Instrumental Pop",
    "Instrumental Rock",
    "Ethnic",
    "Gothic",
    "Darkwave",
    "Techno-Industrial",
    "Electronic",
    "Pop-Folk",
    "Eurodance",
    "Dream",
    "Southern Rock",
    "Comedy",
    "Cult",
    "Gangsta",
    "Top 40",
    "Christian Rap",
    "Pop/Funk",
    "Jungle",
    "Native American",
    "Cabaret",
    "New Wave",
    "Psychadelic",
    "Rave",
    "Showtunes",
    "Trailer",
    "Lo-Fi",
    "Tribal",
    "Acid Punk",
    "Acid Jazz",
    "Polka",
    "Retro",
    "Musical",
    "Rock & Roll",
    "Hard Rock",
    "Folk",
    "Folk-Rock",
    "National Folk",
    "Swing",
    "Fast Fusion",
    "Bebob",
    "Latin",
    "Revival",
    "Celtic",
    "Bluegrass",
    "Avantgarde",
    "Gothic Rock",
    "Progressive Rock",
    "Psychedelic Rock",
    "Symphonic Rock",
    "Slow Rock",
    "Big Band",
    "Chorus",
    "Easy Listening",
    "Acoustic",
    "Humour",
    "Speech",
    "Chanson",
    "Opera",
    "Chamber Music",
    "Sonata",
    "Symphony",
    "Booty Bass",
    "Primus",
    "Porn Groove",
    "Satire",
    "Slow Jam",
    "Club",
    "Tango",
    "Samba",
    "Folklore",
    "Ballad",
    "Power Ballad",
    "Rhythmic Soul",
    "Freestyle",
    "Duet",
    "Punk Rock",
    "Drum Solo",
    "Acapella",
    "Euro-House",
    "Dance Hall",
    "Goa",
    "Drum & Bass",
    "Club-House",
    "Hardcore",
    "Terror",
    "Indie",
    "BritPop",
    "Negerpunk",
    "Polsk Punk",
    "Beat",
    "Christian Gangsta Rap",
    "Heavy Metal",
    "Black Metal",
    "Crossover",
    "Contemporary Christian",
    "Cristian Rock",
    "Merengue",
    "Salsa",
    "Thrash Metal",
    "Anime",
    "JPop",
    "Synthpop",
    "Unknown",
};

namespace {}  // namespace

void TID3GenreData::ExtractGenre(std::string& Text, std::string& Token) const {
    Token.clear();
    Text = TrimLeft(Text);
    if (Text.empty()) return;
    const size_t paren = Text.find('(');
    const size_t comma = Text.find(',');
    if (comma != std::string::npos) {
        Token = Trim(std::string_view(Text).substr(0, comma));
        Text.erase(0, comma + 1);
    } else if (paren == std::string::npos) {
        Token = std::move(Text);
        Text.clear();
    } else if (paren > 0) {
        Token = Text.substr(0, paren);
        Text.erase(0, paren + 1);
    } else {
        const size_t close = Text.find(')');
        if (close != std::string::npos) {
            Token = Trim(std::string_view(Text).substr(1, close - 1));
            Text = Trim(std::string_view(Text).substr(close + 1));
        } else {
            Token = Trim(std::string_view(Text).substr(1));
            Text.clear();
        }
    }
}

bool TID3GenreData::IsDigitsOnly(const std::string& Text) const {
    for (char c : Text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

uint8_t TID3GenreData::GenreTextToIndex(const std::string& Text, uint8_t Default) const {
    std::string rest = Trim(Text);
    std::string token;
    ExtractGenre(rest, token);
    if (IsDigitsOnly(token)) {
        if (token.empty()) return Default;
        // Numbers beyond a 32-bit signed integer do not convert.
        int64_t value = 0;
        for (char c : token) {
            value = value * 10 + (c - '0');
            if (value > INT32_MAX) return Default;
        }
        return static_cast<uint8_t>(value & 0xFF);
    }
    // A name written before a parenthesis keeps its trailing blank in the token ("Rock (live)");
    // it must still find "Rock".
    const std::string name = Trim(token);
    for (int i = 0; i < ID3_GENRE_COUNT; ++i) {
        if (EqualsNoCase(name, ID3Genres[i])) return static_cast<uint8_t>(i);
    }
    return Default;
}

std::string TID3GenreData::GenreNumberToText(uint8_t Number) const {
    std::string text = "(";
    text += std::to_string(static_cast<unsigned>(Number));
    text += ')';
    return text;
}

}  // namespace covrilo
