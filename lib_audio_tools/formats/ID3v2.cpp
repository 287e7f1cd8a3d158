// SPDX-License-Identifier: MIT
#include "formats/ID3v2.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "id3v1/ID3GenreData.h"
#include "io/AsciiText.h"
#include "io/ByteCursor.h"
#include "io/EnhancedStreams.h"
#include "io/TextConversion.h"

namespace covrilo {

namespace {

// Layout notes:
//   tag header   "ID3" major revision flags size(4 x 7 bits)      flag 0x10 = footer (+10 bytes)
//   2.2 frame    id(3) size(24-bit BE)                             then the content
//   2.3/2.4      id(4) size(32-bit BE, also taken plain for 2.4) flags(2)
//   text frame   encoding(1) text...; COMM: encoding lang(3) description 0 text; WXXX: encoding description 0
//   url

constexpr int kSlotCount = 17;
constexpr size_t kMaxContent = 500;
constexpr size_t kMaxUtf16Units = 249;

constexpr std::array<const char*, kSlotCount> kFrameIDs23 = {"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON",
                                                             "COMM", "TCOM", "TENC", "TCOP", "TLAN", "WXXX",
                                                             "TDRC", "TOPE", "TIT1", "TOAL", "TSIZ"};
constexpr std::array<const char*, kSlotCount> kFrameIDs22 = {"TT2", "TP1", "TAL", "TRK", "TYE", "TCO",
                                                             "COM", "TCM", "TEN", "TCR", "TLA", "WXX",
                                                             "TOR", "TOA", "TT1", "TOT", "TSI"};

enum Slot {
    slTitle,
    slArtist,
    slAlbum,
    slTrack,
    slYear,
    slGenre,
    slComment,
    slComposer,
    slEncoder,
    slCopyright,
    slLanguage,
    slLink,
    slYear2,
    slArtist2,
    slTitle2,
    slAlbum2,
    slSizeText
};

// The text of a raw frame content that starts with its encoding byte.
std::string ContentText(std::string_view Raw) {
    if (Raw.empty()) return {};
    if (Raw[0] == 1) {
        // UTF-16 with an optional byte-order mark; without one the units are little-endian.
        std::string_view body = Raw.substr(1);
        bool bigEndian = false;
        if (body.size() >= 2) {
            const auto b0 = static_cast<uint8_t>(body[0]), b1 = static_cast<uint8_t>(body[1]);
            if (b0 == 0xFF && b1 == 0xFE) {
                body.remove_prefix(2);
            } else if (b0 == 0xFE && b1 == 0xFF) {
                bigEndian = true;
                body.remove_prefix(2);
            }
        }
        std::u16string wide;
        for (size_t i = 0; i + 1 < body.size() && wide.size() < kMaxUtf16Units; i += 2) {
            const auto lo = static_cast<uint8_t>(body[bigEndian ? i + 1 : i]);
            const auto hi = static_cast<uint8_t>(body[bigEndian ? i : i + 1]);
            const char16_t unit = static_cast<char16_t>(lo | (hi << 8));
            if (unit == 0) break;
            wide.push_back(unit);
        }
        return Trim(WideToAnsi(wide));
    }
    // One-byte text: the encoding byte is trimmed away as a blank; a zero ends the first string.
    std::string_view text = Raw.substr(1);
    const size_t zero = text.find('\0');
    if (zero != std::string_view::npos) text = text.substr(0, zero);
    return Trim(text);
}

// The text after the description of a COMM or WXXX content. The description's terminator is
// one zero byte, or an aligned pair of zero bytes for UTF-16.
std::string_view AfterDescription(std::string_view Raw, size_t Skip, bool Wide) {
    if (Raw.size() <= Skip) return {};
    std::string_view body = Raw.substr(Skip);
    if (!Wide) {
        const size_t zero = body.find('\0');
        return zero == std::string_view::npos ? std::string_view() : body.substr(zero + 1);
    }
    for (size_t i = 0; i + 1 < body.size(); i += 2) {
        if (body[i] == 0 && body[i + 1] == 0) return body.substr(i + 2);
    }
    return {};
}

std::string CommentText(const std::string& Raw) {
    if (Raw.empty()) return {};
    const char encoding = Raw[0];
    const std::string_view text = AfterDescription(Raw, 4, encoding == 1);
    return ContentText(std::string(1, encoding) + std::string(text));
}

std::string LinkText(const std::string& Raw) {
    if (Raw.empty()) return {};
    // The URL itself is always one-byte text, whatever encoding the description has.
    const std::string_view url = AfterDescription(Raw, 1, Raw[0] == 1);
    return ContentText(std::string(1, '\0') + std::string(url));
}

// Decimal digits only, within a 32-bit signed integer; anything else is no number.
bool ParseNumber(std::string_view S, int64_t& Value) {
    if (S.empty() || S.size() > 10) return false;
    Value = 0;
    for (char c : S) {
        if (c < '0' || c > '9') return false;
        Value = Value * 10 + (c - '0');
    }
    return Value <= INT32_MAX;
}

// Leading "(n)" references are dropped; a genre made only of a numbered reference keeps its
// meaning as the name of that genre, so a later write does not store an empty genre.
std::string GenreText(const std::string& Text) {
    std::string_view rest = Text;
    std::string_view lastRef;
    while (!rest.empty() && rest.front() == '(') {
        const size_t close = rest.find(')');
        if (close == std::string_view::npos) break;
        lastRef = rest.substr(1, close - 1);
        rest.remove_prefix(close + 1);
    }
    std::string genre = Trim(rest);
    int64_t n = 0;
    if (genre.empty() && ParseNumber(lastRef, n) && n < ID3_GENRE_COUNT - 1) genre = ID3Genres[n];
    return genre;
}

}  // namespace

TID3v2::TID3v2() { ResetData(); }

void TID3v2::ResetData() {
    Exists = false;
    VersionID = 0;
    Size = 0;
    TrackNo = 0;
    for (std::string* s : {&Title, &Artist, &Album, &TrackString, &Year, &Genre, &Comment, &Composer,
                           &EncodedBy, &Copyright, &Language, &URL, &SizeText}) {
        s->clear();
    }
}

bool TID3v2::ReadFromFile(const std::filesystem::path& FileName) {
    ResetData();
    try {
        TUnicodeFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
        return ReadFromStream(stream);
    } catch (...) {
        ResetData();
        return false;
    }
}

bool TID3v2::ReadFromStream(TStream& Stream) {
    ResetData();
    std::array<uint8_t, 10> header{};
    int64_t fileSize = 0;
    try {
        fileSize = Stream.Size();
        Stream.SetPosition(0);
        if (Stream.Read(header.data(), 10) < 10) return false;
    } catch (...) {
        return false;
    }
    if (header[0] != 'I' || header[1] != 'D' || header[2] != '3') return true;

    Exists = true;
    VersionID = header[3];
    int64_t size = int64_t{Syncsafe32At(header, 6)} + 10;
    if (header[5] & 0x10) size += 10;
    if (size > fileSize) size = 0;
    Size = static_cast<int>(size);
    if (VersionID < 2 || VersionID > 4 || Size <= 0) return true;

    const bool v22 = VersionID == 2;
    const int headerSize = v22 ? 6 : 10;
    const int idSize = v22 ? 3 : 4;
    const auto& ids = v22 ? kFrameIDs22 : kFrameIDs23;
    std::array<std::string, kSlotCount> slots;

    try {
        int64_t pos = 10;
        while (pos < Size && pos < fileSize) {
            std::array<uint8_t, 10> fh{};
            Stream.SetPosition(pos);
            if (Stream.Read(fh.data(), headerSize) < headerSize) break;
            if (fh[0] < 'A' || fh[0] > 'Z') break;
            const int64_t frameSize = v22 ? U24BEAt(fh, 3) : U32BEAt(fh, 4);
            const int64_t contentStart = pos + headerSize;
            pos = contentStart + frameSize;
            if (!v22 && (fh[9] & 0x80)) continue;

            std::string content(kMaxContent, '\0');
            Stream.Read(content.data(), std::min<int64_t>(frameSize, kMaxContent));
            const std::string_view id(reinterpret_cast<const char*>(fh.data()), idSize);
            const auto encoding = static_cast<uint8_t>(content[0]);
            if (encoding != 0 && encoding != 1) continue;
            for (int slot = 0; slot < kSlotCount; ++slot) {
                if (id == ids[slot]) {
                    slots[slot] = content;
                    break;
                }
            }
        }
    } catch (...) {
        // A damaged frame area keeps what was found before it.
    }

    auto text = [&](int Slot) { return ContentText(slots[Slot]); };
    auto either = [&](int First, int Second) {
        std::string t = text(First);
        return t.empty() ? text(Second) : t;
    };
    Title = either(slTitle, slTitle2);
    Artist = either(slArtist, slArtist2);
    Album = either(slAlbum, slAlbum2);
    TrackString = text(slTrack);
    int64_t track = 0;
    const std::string trackNumber = Trim(std::string_view(TrackString).substr(0, TrackString.find('/')));
    TrackNo = ParseNumber(trackNumber, track) ? static_cast<uint16_t>(track) : 0;
    Year = text(slYear);
    if (Year.empty()) Year = text(slYear2).substr(0, 4);
    Genre = GenreText(text(slGenre));
    Comment = CommentText(slots[slComment]);
    URL = LinkText(slots[slLink]);
    Composer = text(slComposer);
    EncodedBy = text(slEncoder);
    Copyright = text(slCopyright);
    Language = text(slLanguage);
    SizeText = text(slSizeText);
    return true;
}

}  // namespace covrilo
