// SPDX-License-Identifier: MIT
#include "id3v1/ID3v1Types.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "id3v1/ID3GenreData.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "io/AsciiText.h"
#include "io/TextConversion.h"

namespace covrilo {

namespace {

using TRecord = std::array<uint8_t, TID3v1Tag::RecordSize>;

constexpr size_t ofsTitle = 3;
constexpr size_t ofsArtist = 33;
constexpr size_t ofsAlbum = 63;
constexpr size_t ofsYear = 93;
constexpr size_t ofsComment = 97;
constexpr size_t ofsV11Zero = 125;
constexpr size_t ofsTrack = 126;
constexpr size_t ofsGenre = 127;
constexpr size_t TextWidth = 30;
constexpr size_t YearWidth = 4;
constexpr size_t CommentWidthV11 = 28;

// Restores a stream position on every way out, exceptions included.
class TPositionGuard {
   public:
    explicit TPositionGuard(TStream& Stream) : stream_(Stream), pos_(Stream.Position()) {}
    ~TPositionGuard() { stream_.SetPosition(pos_); }
    TPositionGuard(const TPositionGuard&) = delete;
    TPositionGuard& operator=(const TPositionGuard&) = delete;
    int64_t Saved() const { return pos_; }

   private:
    TStream& stream_;
    int64_t pos_;
};

// Reads the last 128 bytes into a zero-filled buffer; true when they begin with "TAG".
bool ReadTrailingRecord(TStream& Stream, TRecord& Record) {
    Record.fill(0);
    const int64_t size = Stream.Size();
    if (size < TID3v1Tag::RecordSize) return false;
    Stream.SetPosition(size - TID3v1Tag::RecordSize);
    const int64_t got = Stream.Read(Record.data(), TID3v1Tag::RecordSize);
    return got == TID3v1Tag::RecordSize && std::memcmp(Record.data(), "TAG", 3) == 0;
}

// The slot's text up to its first zero byte, trimmed.
std::string SlotText(const TRecord& Record, size_t Offset, size_t Width) {
    const auto* begin = Record.data() + Offset;
    const auto* end = std::find(begin, begin + Width, uint8_t{0});
    return Trim(std::string_view(reinterpret_cast<const char*>(begin), static_cast<size_t>(end - begin)));
}

// A text as long as its slot fills it without a terminator; longer text is cut.
void PutSlot(TRecord& Record, size_t Offset, size_t Width, const std::string& Text) {
    const size_t count = std::min(Text.size(), Width);
    std::memcpy(Record.data() + Offset, Text.data(), count);
}

}  // namespace

TID3v1Tag::TID3v1Tag() {
    FFrameID = {'T', 'A', 'G', '\0'};
    FrameName = "ID3v1 Tag";
    FrameDescription = "ID3v1 Tag";
    SupportedVersions = svID3v22 | svID3v23 | svID3v24;
}

bool TID3v1Tag::LoadFromStream(TStream& Stream, uint16_t /*Version*/) {
    Modified = false;
    TRecord record;
    {
        TPositionGuard guard(Stream);
        if (!ReadTrailingRecord(Stream, record)) return false;
    }
    Title = SlotText(record, ofsTitle, TextWidth);
    Artist = SlotText(record, ofsArtist, TextWidth);
    Album = SlotText(record, ofsAlbum, TextWidth);
    Year = SlotText(record, ofsYear, YearWidth);
    Genre = record[ofsGenre];
    if (record[ofsV11Zero] == 0 && record[ofsTrack] != 0) {
        Comment = SlotText(record, ofsComment, CommentWidthV11);
        TrackNo = record[ofsTrack];
        IsVersion11 = true;
    } else {
        Comment = SlotText(record, ofsComment, TextWidth);
        TrackNo = 0;
        IsVersion11 = false;
    }
    Stored = true;
    return true;
}

bool TID3v1Tag::SaveToStream(TStream& Stream, uint16_t /*Version*/) {
    TPositionGuard guard(Stream);
    TRecord record;
    if (ReadTrailingRecord(Stream, record))
        Stream.SetPosition(Stream.Size() - RecordSize);
    else
        Stream.Seek(0, TSeekOrigin::soEnd);

    record.fill(0);
    std::memcpy(record.data(), "TAG", 3);
    PutSlot(record, ofsTitle, TextWidth, Title);
    PutSlot(record, ofsArtist, TextWidth, Artist);
    PutSlot(record, ofsAlbum, TextWidth, Album);
    PutSlot(record, ofsYear, YearWidth, Year);
    PutSlot(record, ofsComment, TextWidth, Comment);
    record[ofsGenre] = Genre;
    if (IsVersion11) {
        record[ofsV11Zero] = 0;
        record[ofsTrack] = TrackNo;
    }
    const bool written = Stream.Write(record.data(), RecordSize) == RecordSize;
    Modified = false;
    return written;
}

bool TID3v1Tag::RemoveFromStream(TStream& Stream) {
    const int64_t saved = Stream.Position();
    // The position never stays beyond the new end, also when the read or resize raised.
    auto restore = [&] { Stream.SetPosition(std::min(saved, Stream.Size())); };
    try {
        TRecord record;
        if (ReadTrailingRecord(Stream, record)) Stream.SetSize(Stream.Size() - RecordSize);
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return true;
}

bool TID3v1Tag::Assign(const TBaseFrame& Source) {
    if (const auto* other = dynamic_cast<const TID3v1Tag*>(&Source)) {
        IsVersion11 = other->IsVersion11;
        Title = other->Title;
        Artist = other->Artist;
        Album = other->Album;
        Year = other->Year;
        Comment = other->Comment;
        Genre = other->Genre;
        TrackNo = other->TrackNo;
        Modified = true;
        return true;
    }
    if (const auto* text = dynamic_cast<const TTxxxFrame*>(&Source)) {
        const std::string id = text->FrameID();
        const std::string value = WideToAnsi(text->Text);
        if (id == "TIT2") {
            SetTitle(value);
        } else if (id == "TPE1") {
            SetArtist(value);
        } else if (id == "TALB") {
            SetAlbum(value);
        } else if (id == "TYER") {
            SetYear(value);
        } else if (id == "TRCK") {
            // "12/15" gives 12. A number that does not fit the track byte is not taken
            // rather than stored wrapped around.
            const std::string trimmed = Trim(value);
            size_t digits = 0;
            unsigned number = 0;
            while (digits < trimmed.size() && trimmed[digits] >= '0' && trimmed[digits] <= '9') {
                number = std::min(number * 10 + static_cast<unsigned>(trimmed[digits] - '0'), 1000u);
                ++digits;
            }
            if (digits == 0 || number > 255) return false;
            if (!IsVersion11) SetIsVersion11(true);
            SetTrackNo(static_cast<uint8_t>(number));
        } else if (id == "TCON") {
            const uint8_t genre = TID3GenreData().GenreTextToIndex(Trim(value), 255);
            if (genre == 255) return false;
            SetGenre(genre);
        } else {
            return false;
        }
        return true;
    }
    if (const auto* comment = dynamic_cast<const TCOMMFrame*>(&Source)) {
        SetComment(WideToAnsi(comment->Text));
        return true;
    }
    return false;
}

namespace {
template <typename T>
void Change(T& Field, const T& Value, bool& Modified) {
    if (Field == Value) return;
    Field = Value;
    Modified = true;
}
}  // namespace

void TID3v1Tag::SetTitle(const std::string& Value) { Change(Title, Value, Modified); }
void TID3v1Tag::SetArtist(const std::string& Value) { Change(Artist, Value, Modified); }
void TID3v1Tag::SetAlbum(const std::string& Value) { Change(Album, Value, Modified); }
void TID3v1Tag::SetYear(const std::string& Value) { Change(Year, Value, Modified); }

void TID3v1Tag::SetComment(const std::string& Value) {
    Change(Comment, Value.substr(0, IsVersion11 ? CommentWidthV11 : TextWidth), Modified);
}

void TID3v1Tag::SetGenre(uint8_t Value) { Change(Genre, Value, Modified); }

void TID3v1Tag::SetTrackNo(uint8_t Value) {
    if (TrackNo == Value) return;
    TrackNo = IsVersion11 ? Value : uint8_t{0};
    Modified = true;
}

void TID3v1Tag::SetIsVersion11(bool Value) {
    if (IsVersion11 == Value) return;
    IsVersion11 = Value;
    if (Value && Comment.size() > CommentWidthV11) Comment.resize(CommentWidthV11);
    Modified = true;
}

}  // namespace covrilo
