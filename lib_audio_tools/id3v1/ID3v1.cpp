// SPDX-License-Identifier: MIT
#include "id3v1/ID3v1.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "io/AsciiText.h"
#include "io/EnhancedStreams.h"
#include "io/FileTransaction.h"

namespace covrilo {

// clang-format off
const std::array<std::string_view, ID3v1GenreCount> ID3v1Genres = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop",
    "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game",
    "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative",
    "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial",
    "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta",
    "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
    "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka",
    "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk", "Folk-Rock", "National Folk", "Swing",
    "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock",
    "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus",
    "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata",
    "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo",
    "A capella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror",
    "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Thrash Metal", "Anime", "JPop", "Synthpop",
};
// clang-format on

namespace {

constexpr std::string_view kLyricsBegin = "LYRICSBEGIN";
constexpr std::string_view kLyricsEnd = "LYRICS200";
constexpr int64_t kRecordSize = 128;
constexpr int64_t kTrailerSize = 15;

// Decimal value of a run of digits; nullopt when any byte is not a digit.
std::optional<int> ParseDigits(const uint8_t* P, size_t N) {
    int value = 0;
    for (size_t i = 0; i < N; ++i) {
        if (P[i] < '0' || P[i] > '9') return std::nullopt;
        value = value * 10 + (P[i] - '0');
    }
    return value;
}

void AppendDigits(std::vector<uint8_t>& Out, size_t Value, int Width) {
    std::string digits(static_cast<size_t>(Width), '0');
    for (int i = Width - 1; i >= 0 && Value > 0; --i) {
        digits[static_cast<size_t>(i)] = static_cast<char>('0' + Value % 10);
        Value /= 10;
    }
    Out.insert(Out.end(), digits.begin(), digits.end());
}

void AppendText(std::vector<uint8_t>& Out, std::string_view Text) {
    Out.insert(Out.end(), Text.begin(), Text.end());
}

// Exactly Count bytes at Pos, or nullopt when the stream holds fewer.
bool StartsWith(const std::vector<uint8_t>& Bytes, size_t At, std::string_view Mark) {
    return Bytes.size() >= At && Bytes.size() - At >= Mark.size() &&
           std::memcmp(Bytes.data() + At, Mark.data(), Mark.size()) == 0;
}

// A record slot ends at its first zero byte; padding of spaces or zeros goes. Bytes after
// a zero are leftovers of older writers, not text.
std::string SlotText(const std::array<uint8_t, 128>& R, size_t At, size_t Width) {
    size_t n = 0;
    while (n < Width && R[At + n] != 0) ++n;
    return TrimRight(std::string_view(reinterpret_cast<const char*>(R.data() + At), n));
}

void PutSlot(std::array<uint8_t, 128>& R, size_t At, size_t Width, std::string_view Text) {
    size_t n = std::min(Width, Text.size());
    std::memcpy(R.data() + At, Text.data(), n);
}

// Keeps a file's modification time over a write when asked to.
class TFileTimeKeeper {
   public:
    TFileTimeKeeper(const std::filesystem::path& FileName, bool Keep) : fileName_(FileName) {
        if (!Keep) return;
        std::error_code ec;
        auto t = std::filesystem::last_write_time(FileName, ec);
        if (!ec) time_ = t;
    }
    void Restore() {
        if (!time_) return;
        std::error_code ec;
        std::filesystem::last_write_time(fileName_, *time_, ec);
    }

   private:
    std::filesystem::path fileName_;
    std::optional<std::filesystem::file_time_type> time_;
};

constexpr uint16_t kReadMode = fmOpenRead | fmShareDenyWrite;

}  // namespace

void TID3v1::ResetData() {
    Exists = false;
    VersionID = 1;
    Title.clear();
    Artist.clear();
    Album.clear();
    Year.clear();
    Comment.clear();
    TrackNo = 0;
    Genre = 255;
    Lyrics3Exists = false;
    Lyrics3Size = 0;
    ExtArtist.clear();
    ExtAlbum.clear();
    ExtTitle.clear();
    ExtComment.clear();
    ImageLinks.clear();
    Author.clear();
    Lyrics.clear();
}

namespace {
void SetWithExtended(std::string& Short, std::string& Extended, std::string_view Value) {
    Short = TrimRight(Value);
    if (Short.size() >= 31)
        Extended = Short;
    else
        Extended.clear();
}
}  // namespace

void TID3v1::SetTitle(std::string_view Value) { SetWithExtended(Title, ExtTitle, Value); }
void TID3v1::SetArtist(std::string_view Value) { SetWithExtended(Artist, ExtArtist, Value); }
void TID3v1::SetAlbum(std::string_view Value) { SetWithExtended(Album, ExtAlbum, Value); }
void TID3v1::SetComment(std::string_view Value) { SetWithExtended(Comment, ExtComment, Value); }

void TID3v1::SetYear(std::string_view Value) { Year = TrimRight(Value).substr(0, 4); }

void TID3v1::SetGenreName(std::string_view Name) {
    for (size_t i = 0; i < ID3v1Genres.size(); ++i) {
        if (EqualsNoCase(Name, ID3v1Genres[i])) {
            Genre = static_cast<uint8_t>(i);
            return;
        }
    }
    Genre = (DefaultGenreOther && !Name.empty()) ? 12 : 255;
}

std::string TID3v1::GetGenreName() const {
    return Genre < ID3v1GenreCount ? std::string(ID3v1Genres[Genre]) : std::string();
}

// --- reading ---------------------------------------------------------------

void TID3v1::ParseRecord(const std::array<uint8_t, 128>& R) {
    const bool v11 = (R[125] == 0 && R[126] != 0) || (R[125] == ' ' && R[126] != ' ');
    VersionID = v11 ? 2 : 1;
    SetTitle(SlotText(R, 3, 30));
    SetArtist(SlotText(R, 33, 30));
    SetAlbum(SlotText(R, 63, 30));
    SetYear(SlotText(R, 93, 4));
    if (v11) {
        SetComment(SlotText(R, 97, 28));
        TrackNo = R[126];
    } else {
        SetComment(SlotText(R, 97, 30));
    }
    Genre = R[127];
}

void TID3v1::ParseLyrics3Fields(const std::vector<uint8_t>& Block) {
    size_t pos = kLyricsBegin.size();
    while (Block.size() - pos >= 8) {
        const std::string id(reinterpret_cast<const char*>(Block.data() + pos), 3);
        const auto size = ParseDigits(Block.data() + pos + 3, 5);
        if (!size) break;
        pos += 8;
        // A field reaching past the block is damaged; what came before it stays.
        if (static_cast<size_t>(*size) > Block.size() - pos) break;
        const std::string_view data(reinterpret_cast<const char*>(Block.data() + pos),
                                    static_cast<size_t>(*size));
        pos += static_cast<size_t>(*size);
        if (id == "IND") {
            continue;
        } else if (id == "LYR") {
            // Line ends become CR LF; a CR LF stays as it is.
            const std::string text = Trim(data);
            std::string lyrics;
            lyrics.reserve(text.size());
            for (size_t i = 0; i < text.size(); ++i) {
                lyrics += text[i];
                if (text[i] == '\r') {
                    lyrics += '\n';
                    if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
                }
            }
            Lyrics = std::move(lyrics);
        } else if (id == "INF") {
            SetComment(Trim(data));
        } else if (id == "AUT") {
            Author = Trim(data);
        } else if (id == "EAL") {
            SetAlbum(Trim(data));
        } else if (id == "EAR") {
            SetArtist(Trim(data));
        } else if (id == "ETT") {
            SetTitle(Trim(data));
        } else if (id == "IMG") {
            ImageLinks = std::string(data);
        } else {
            break;
        }
    }
}

TID3v1::TTailInfo TID3v1::ScanTail(TStream& Stream, bool ReadValues) {
    TTailInfo info;
    info.FileSize = Stream.Size();
    if (info.FileSize >= kRecordSize) {
        if (auto bytes = Stream.ReadBytesAt(info.FileSize - kRecordSize, kRecordSize);
            bytes && StartsWith(*bytes, 0, "TAG")) {
            info.HasRecord = true;
            if (ReadValues) {
                std::array<uint8_t, 128> record{};
                std::copy(bytes->begin(), bytes->end(), record.begin());
                ParseRecord(record);
            }
        }
    }
    const int64_t offset = info.HasRecord ? kRecordSize + kTrailerSize : kTrailerSize;
    if (info.FileSize >= offset) {
        auto trailer = Stream.ReadBytesAt(info.FileSize - offset, kTrailerSize);
        if (trailer && StartsWith(*trailer, 6, kLyricsEnd)) {
            const int size = ParseDigits(trailer->data(), 6).value_or(0);
            const int64_t start = info.FileSize - offset - size;
            // The block must hold its start mark and lie inside the file.
            if (size >= static_cast<int>(kLyricsBegin.size()) && start >= 0) {
                auto begin = Stream.ReadBytesAt(start, static_cast<int64_t>(kLyricsBegin.size()));
                if (begin && StartsWith(*begin, 0, kLyricsBegin)) {
                    info.Lyrics3Size = size;
                    if (ReadValues) {
                        if (auto block = Stream.ReadBytesAt(start, size)) ParseLyrics3Fields(*block);
                    }
                }
            }
        }
    }
    Exists = info.HasRecord;
    Lyrics3Size = info.Lyrics3Size;
    Lyrics3Exists = info.Lyrics3Size > 0;
    return info;
}

bool TID3v1::LoadTag(const std::filesystem::path& FileName, bool ReadValues) {
    try {
        TUnicodeFileStream stream(FileName, kReadMode);
        ScanTail(stream, ReadValues);
        return true;
    } catch (const std::exception& e) {
        LastError = ErrorReason(e);
        return false;
    }
}

bool TID3v1::ReadFromFile(const std::filesystem::path& FileName) {
    ResetData();
    return LoadTag(FileName, true);
}

bool TID3v1::ReadFromStream(TStream& Stream) {
    ResetData();
    try {
        ScanTail(Stream, true);
        return true;
    } catch (const std::exception& e) {
        LastError = ErrorReason(e);
        return false;
    }
}

int64_t TID3v1::AudioEnd(TStream& Stream) {
    TID3v1 scan;
    return scan.ScanTail(Stream, false).AudioEnd();
}

// --- writing ---------------------------------------------------------------

std::vector<uint8_t> TID3v1::BuildLyrics3Block(bool WriteLyrics3) const {
    std::vector<uint8_t> block;
    const bool carries = !Lyrics.empty() || !Author.empty() || !ImageLinks.empty();
    // Image links count as content too: a block holding only them must not vanish.
    const bool hasContent =
        carries || !ExtAlbum.empty() || !ExtArtist.empty() || !ExtTitle.empty() || !ExtComment.empty();
    if (!WriteLyrics3 || !(AlwaysWriteLyrics3 || carries) || !hasContent) return block;

    struct TField {
        std::string_view Id;
        const std::string* Value;
    };
    const TField fields[] = {{"EAL", &ExtAlbum},   {"EAR", &ExtArtist}, {"ETT", &ExtTitle},
                             {"INF", &ExtComment}, {"AUT", &Author},    {"LYR", &Lyrics},
                             {"IMG", &ImageLinks}};

    // Only fields whose size fits the five digits are written; the block could not
    // describe the others.
    std::vector<const TField*> chosen;
    size_t blockSize = kLyricsBegin.size() + 10;  // start mark and the IND field
    bool lyricsWritten = false;
    for (const TField& f : fields) {
        if (Trim(*f.Value).empty() || f.Value->size() > Lyrics3MaxFieldSize) continue;
        if (8 + f.Value->size() > Lyrics3MaxBlockSize - blockSize) continue;
        blockSize += 8 + f.Value->size();
        chosen.push_back(&f);
        if (f.Id == "LYR") lyricsWritten = true;
    }
    if (chosen.empty()) return block;

    block.reserve(blockSize + kTrailerSize);
    AppendText(block, kLyricsBegin);
    AppendText(block, lyricsWritten ? "IND0000210" : "IND0000200");
    for (const TField* f : chosen) {
        AppendText(block, f->Id);
        AppendDigits(block, f->Value->size(), 5);
        AppendText(block, *f->Value);
    }
    AppendDigits(block, block.size(), 6);
    AppendText(block, kLyricsEnd);
    return block;
}

std::array<uint8_t, 128> TID3v1::BuildRecord() const {
    std::array<uint8_t, 128> r{};
    std::memcpy(r.data(), "TAG", 3);
    PutSlot(r, 3, 30, TrimRight(GetTitle()));
    PutSlot(r, 33, 30, TrimRight(GetArtist()));
    PutSlot(r, 63, 30, TrimRight(GetAlbum()));
    PutSlot(r, 93, 4, Year);
    PutSlot(r, 97, 30, TrimRight(GetComment()));
    if (TrackNo != 0) {
        r[125] = 0;
        r[126] = TrackNo;
    }
    r[127] = Genre;
    return r;
}

std::vector<uint8_t> TID3v1::BuildTail(bool WriteLyrics3) const {
    std::vector<uint8_t> tail = BuildLyrics3Block(WriteLyrics3);
    const auto record = BuildRecord();
    tail.insert(tail.end(), record.begin(), record.end());
    return tail;
}

void TID3v1::ReplaceTail(const std::filesystem::path& FileName, const std::vector<uint8_t>& Tail,
                         bool Append) {
    // One transaction finds the old tail and writes the new one, through the rollback
    // journal: the file never shows a missing record, and a failure or crash leaves it whole.
    TFileTransaction transaction(FileName);
    const TTailInfo info = ScanTail(transaction.Stream(), false);
    const int64_t start = Append ? info.FileSize : info.AudioEnd();
    transaction.CommitInPlace({TSplice{start, info.FileSize - start, Tail}});
}

bool TID3v1::SaveTag(const std::filesystem::path& FileName, bool WriteLyrics3) {
    TFileTimeKeeper time(FileName, KeepFileTime);
    try {
        const std::vector<uint8_t> tail = BuildTail(WriteLyrics3);
        const size_t blockSize = tail.size() - kRecordSize;
        ReplaceTail(FileName, tail, true);
        if (blockSize > 0) {
            Lyrics3Exists = true;
            Lyrics3Size = static_cast<int>(blockSize - kTrailerSize);
        }
    } catch (const std::exception& e) {
        LastError = ErrorReason(e);
        time.Restore();
        return false;
    }
    time.Restore();
    return true;
}

bool TID3v1::RemoveFromFile(const std::filesystem::path& FileName, bool KeepID3v1) {
    // A file that cannot be read cannot be cleaned; saying "done" would be wrong.
    if (!LoadTag(FileName, false)) return false;
    if (!Exists && !Lyrics3Exists) return true;

    TFileTimeKeeper time(FileName, KeepFileTime);
    try {
        // With KeepID3v1 the record is written again from the values, without a block.
        ReplaceTail(FileName, KeepID3v1 ? BuildTail(false) : std::vector<uint8_t>(), false);
        Exists = KeepID3v1;
        Lyrics3Exists = false;
        Lyrics3Size = 0;
    } catch (const std::exception& e) {
        LastError = ErrorReason(e);
        time.Restore();
        return false;
    }
    time.Restore();
    return true;
}

bool TID3v1::SaveToFile(const std::filesystem::path& FileName) {
    // Old tail and new tail are exchanged in one save, so no other writer sees (or causes)
    // a file left without its record between the two steps.
    TFileTimeKeeper time(FileName, KeepFileTime);
    try {
        const std::vector<uint8_t> tail = BuildTail(true);
        const size_t blockSize = tail.size() - kRecordSize;
        ReplaceTail(FileName, tail, false);
        Exists = true;
        Lyrics3Exists = blockSize > 0;
        Lyrics3Size = blockSize > 0 ? static_cast<int>(blockSize - kTrailerSize) : 0;
    } catch (const std::exception& e) {
        LastError = ErrorReason(e);
        time.Restore();
        return false;
    }
    time.Restore();
    return true;
}

}  // namespace covrilo
