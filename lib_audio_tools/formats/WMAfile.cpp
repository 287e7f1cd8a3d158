// SPDX-License-Identifier: MIT
#include "formats/WMAfile.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "io/AsciiText.h"
#include "io/ByteCursor.h"
#include "io/EnhancedStreams.h"

namespace covrilo {

namespace {

// Layout notes (all numbers little-endian):
//   header object      GUID(16) size(8) object count(4) reserved(2), then the header objects
//   any object         GUID(16) size(8, counts the whole object) body
//   file properties    maximum bit rate at object offset 100 (4)
//   stream properties  audio format data from object offset 80: channels(2) sample rate(4) bytes/s(4)
//   content descr.     at 24: five lengths(2) title author copyright description rating (UTF-16LE)
//   ext. content       at 24: count(2); each: name length(2) name type(2) value length(2) value

using TGuid = std::array<uint8_t, 16>;

constexpr uint8_t HexDigit(char C) {
    return static_cast<uint8_t>(C <= '9' ? C - '0' : (C | 0x20) - 'a' + 10);
}

// A GUID in its text form, stored as in the file: the first three groups little-endian.
constexpr TGuid MakeGuid(const char (&Text)[37]) {
    TGuid g{};
    std::array<uint8_t, 16> plain{};
    int n = 0;
    for (int i = 0; i < 36; ++i) {
        if (Text[i] == '-') continue;
        plain[n / 2] = static_cast<uint8_t>((plain[n / 2] << 4) | HexDigit(Text[i]));
        ++n;
    }
    constexpr int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) g[i] = plain[order[i]];
    return g;
}

constexpr TGuid kHeaderObject = MakeGuid("75B22630-668E-11CF-A6D9-00AA0062CE6C");
constexpr TGuid kFileProperties = MakeGuid("8CABDCA1-A947-11CF-8EE4-00C00C205365");
constexpr TGuid kStreamProperties = MakeGuid("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
constexpr TGuid kContentDescription = MakeGuid("75B22633-668E-11CF-A6D9-00AA0062CE6C");
constexpr TGuid kExtendedContentDescription = MakeGuid("D2D0A440-E307-11D2-97F0-00A0C95EA850");

constexpr size_t kObjectHeaderSize = 24;
constexpr size_t kMaxStringChars = 250;

// Tag slots: the seven names of the extended content description first, then names other
// writers use for the same values, consulted only when the first ones are empty.
enum Slot {
    slTitle,
    slAuthor,
    slAlbum,
    slTrack,
    slYear,
    slGenre,
    slDescription,
    slTrackNumber,
    slYearAlias,
    slDescriptionAlias,
    kSlotCount
};
struct TNamedSlot {
    std::u16string_view Name;
    Slot Target;
};
constexpr TNamedSlot kSlotNames[] = {
    {u"WM/TITLE", slTitle},
    {u"WM/AUTHOR", slAuthor},
    {u"WM/ALBUMTITLE", slAlbum},
    {u"WM/TRACK", slTrack},
    {u"WM/YEAR", slYear},
    {u"WM/GENRE", slGenre},
    {u"WM/DESCRIPTION", slDescription},
    {u"WM/TRACKNUMBER", slTrackNumber},
    {u"DATE", slYearAlias},
    {u"YEAR", slYearAlias},
    {u"DESCRIPTION", slDescriptionAlias},
};

struct TFileData {
    uint32_t MaxBitRate = 0;
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint32_t ByteRate = 0;
    std::array<std::u16string, kSlotCount> Tags;
};

// A UTF-16LE string of Length bytes: at most 250 characters are kept, the rest skipped.
bool ReadString(TByteCursor& C, uint16_t Length, std::u16string& Out) {
    auto bytes = C.Span(Length);
    if (!bytes) return false;
    Out.clear();
    const size_t chars = std::min<size_t>(Length / 2, kMaxStringChars);
    for (size_t i = 0; i < chars; ++i) Out.push_back(static_cast<char16_t>(U16LEAt(*bytes, 2 * i)));
    return true;
}

// Text up to its first zero character, without surrounding blanks and control characters.
std::u16string CleanText(std::u16string_view S) {
    S = S.substr(0, S.find(u'\0'));
    size_t b = 0, e = S.size();
    while (b < e && S[b] <= u' ') ++b;
    while (e > b && S[e - 1] <= u' ') --e;
    return std::u16string(S.substr(b, e - b));
}

std::u16string NumberText(uint64_t V) {
    std::u16string out;
    do {
        out.insert(out.begin(), static_cast<char16_t>(u'0' + V % 10));
        V /= 10;
    } while (V != 0);
    return out;
}

void ReadContentDescription(TByteCursor C, TFileData& Data) {
    std::array<uint16_t, 5> lengths{};
    for (uint16_t& len : lengths) {
        auto v = C.U16LE();
        if (!v) return;
        len = *v;
    }
    // Title, author, copyright, description, rating; copyright and rating are dropped.
    constexpr int targets[5] = {slTitle, slAuthor, -1, slDescription, -1};
    for (int i = 0; i < 5; ++i) {
        std::u16string text;
        if (!ReadString(C, lengths[i], text)) return;
        if (targets[i] >= 0 && lengths[i] != 0) Data.Tags[targets[i]] = std::move(text);
    }
}

void ReadExtendedContentDescription(TByteCursor C, TFileData& Data) {
    const auto count = C.U16LE();
    if (!count) return;
    // The count is bounded by the object's bytes: a short object ends the loop.
    for (uint16_t i = 0; i < *count; ++i) {
        std::u16string name;
        const auto nameLength = C.U16LE();
        if (!nameLength || !ReadString(C, *nameLength, name)) return;
        const auto typeField = C.U16LE();
        const auto valueLengthField = typeField ? C.U16LE() : std::nullopt;
        if (!valueLengthField) return;
        const uint16_t type = *typeField, valueLength = *valueLengthField;
        const std::u16string key = UpperAscii(CleanText(name));
        const TNamedSlot* slot = nullptr;
        for (const TNamedSlot& s : kSlotNames) {
            if (key == s.Name) slot = &s;
        }
        if (type == 0) {
            std::u16string value;
            if (!ReadString(C, valueLength, value)) return;
            if (slot != nullptr) Data.Tags[slot->Target] = std::move(value);
            continue;
        }
        // Numbers count only for the one-based track number, which writers often store as one.
        if (slot != nullptr && slot->Target == slTrackNumber && (type == 3 || type == 4 || type == 5)) {
            TByteCursor value = C;
            std::optional<uint64_t> read;
            if (type == 3 && valueLength == 4)
                read = value.U32LE();
            else if (type == 4 && valueLength == 8)
                read = value.U64LE();
            else if (type == 5 && valueLength == 2)
                read = value.U16LE();
            const uint64_t number = read.value_or(0);
            Data.Tags[slTrackNumber] = NumberText(number);
        }
        if (!C.Skip(valueLength)) return;
    }
}

// A leading decimal number (a "/total" part may follow); -1 when there is none.
int64_t LeadingNumber(std::u16string_view S) {
    S = S.substr(0, S.find(u'/'));
    while (!S.empty() && S.back() <= u' ') S.remove_suffix(1);
    if (S.empty() || S.size() > 9) return -1;
    int64_t v = 0;
    for (char16_t ch : S) {
        if (ch < u'0' || ch > u'9') return -1;
        v = v * 10 + (ch - u'0');
    }
    return v;
}

// Reads the header objects. False on a read error of the stream.
bool ReadHeader(TStream& Stream, int64_t FileSize, TFileData& Data) {
    Stream.SetPosition(0);
    TGuid guid{};
    if (Stream.Read(guid.data(), 16) < 16 || guid != kHeaderObject) return true;
    std::array<uint8_t, 14> rest{};
    if (Stream.Read(rest.data(), 14) < 14) return true;
    const uint32_t objectCount = U32LEAt(rest, 8);

    int64_t pos = 30;
    // Every object takes at least its 24-byte header, which bounds the count by the file size.
    for (uint32_t i = 0; i < objectCount && kObjectHeaderSize <= static_cast<uint64_t>(FileSize - pos); ++i) {
        std::array<uint8_t, kObjectHeaderSize> head{};
        Stream.SetPosition(pos);
        if (Stream.Read(head.data(), kObjectHeaderSize) < static_cast<int64_t>(kObjectHeaderSize)) break;
        const uint64_t objectSize = U64LEAt(head, 16);
        // An object smaller than its header or reaching past the end would stall or derail the
        // scan: it ends here.
        if (objectSize < kObjectHeaderSize || objectSize > static_cast<uint64_t>(FileSize - pos)) break;
        const std::span<const uint8_t> id(head.data(), 16);
        const bool known = std::equal(id.begin(), id.end(), kFileProperties.begin()) ||
                           std::equal(id.begin(), id.end(), kStreamProperties.begin()) ||
                           std::equal(id.begin(), id.end(), kContentDescription.begin()) ||
                           std::equal(id.begin(), id.end(), kExtendedContentDescription.begin());
        if (known) {
            std::vector<uint8_t> object(head.begin(), head.end());
            object.resize(objectSize);
            const int64_t body = static_cast<int64_t>(objectSize - kObjectHeaderSize);
            if (Stream.Read(object.data() + kObjectHeaderSize, body) < body) return false;
            TGuid g{};
            std::copy(id.begin(), id.end(), g.begin());
            if (g == kFileProperties) {
                if (auto rate = TByteCursor(object, 100).U32LE()) Data.MaxBitRate = *rate;
            } else if (g == kStreamProperties) {
                TByteCursor c(object, 80);
                const auto channels = c.U16LE();
                const auto rate = channels ? c.U32LE() : std::nullopt;
                const auto byteRate = rate ? c.U32LE() : std::nullopt;
                if (byteRate) {
                    Data.Channels = *channels;
                    Data.SampleRate = *rate;
                    Data.ByteRate = *byteRate;
                }
            } else if (g == kContentDescription) {
                ReadContentDescription(TByteCursor(object, kObjectHeaderSize), Data);
            } else {
                ReadExtendedContentDescription(TByteCursor(object, kObjectHeaderSize), Data);
            }
        }
        pos += static_cast<int64_t>(objectSize);
    }
    return true;
}

bool Plausible(const TFileData& D) {
    return D.MaxBitRate >= 1 && D.MaxBitRate < 320000 && (D.Channels == 1 || D.Channels == 2) &&
           D.SampleRate >= 8000 && D.SampleRate <= 96000 && D.ByteRate >= 1 && D.ByteRate < 40000;
}

}  // namespace

TWMAfile::TWMAfile() { ResetData(); }

void TWMAfile::ResetData() {
    Valid = false;
    FileSize = 0;
    ChannelModeID = 0;
    SampleRate = 0;
    Duration = 0;
    BitRate = 0;
    TrackNo = 0;
    for (std::u16string* s : {&Title, &Artist, &Album, &Year, &Genre, &Comment}) s->clear();
}

bool TWMAfile::ReadFromFile(const std::filesystem::path& FileName) {
    ResetData();
    try {
        TUnicodeFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
        return ReadFromStream(stream);
    } catch (...) {
        ResetData();
        return false;
    }
}

bool TWMAfile::ReadFromStream(TStream& Stream) {
    ResetData();
    TFileData data;
    int64_t fileSize = 0;
    try {
        fileSize = Stream.Size();
        if (!ReadHeader(Stream, fileSize, data)) return false;
    } catch (...) {
        return false;
    }
    if (!Plausible(data)) return true;

    Valid = true;
    FileSize = fileSize;
    ChannelModeID = static_cast<uint8_t>(data.Channels);
    SampleRate = static_cast<int>(data.SampleRate);
    Duration = static_cast<double>(fileSize) * 8 / data.MaxBitRate;
    BitRate = static_cast<int>(data.ByteRate * 8 / 1000);

    auto tag = [&](int Slot) { return CleanText(data.Tags[Slot]); };
    auto either = [&](int First, int Second) {
        std::u16string t = tag(First);
        return t.empty() ? tag(Second) : t;
    };
    Title = tag(slTitle);
    Artist = tag(slAuthor);
    Album = tag(slAlbum);
    Year = either(slYear, slYearAlias);
    Genre = tag(slGenre);
    Comment = either(slDescription, slDescriptionAlias);
    // The one-based track number wins over the older track attribute.
    int64_t track = LeadingNumber(tag(slTrackNumber));
    if (track < 0) track = LeadingNumber(tag(slTrack));
    TrackNo = track < 0 ? 0 : static_cast<int>(track);
    return true;
}

}  // namespace covrilo
