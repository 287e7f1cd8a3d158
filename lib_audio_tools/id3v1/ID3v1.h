// SPDX-License-Identifier: MIT
// Reader-writer of the ID3v1 record at the end of an audio file together with the
// Lyrics3 v2.00 block that may stand in front of it. The block carries the values that do
// not fit the 30-byte record slots, plus lyrics, an author and image links.
//
// Tail of a file, in this order:
//   audio | [Lyrics3 v2.00 block] | [ID3v1 record, 128 bytes]
// Lyrics3 v2.00 block:
//   "LYRICSBEGIN"
//   fields: id (3 chars) + size (5 decimal digits) + data (size bytes), "IND" first
//   block size (6 decimal digits: "LYRICSBEGIN" up to the end of the last field)
//   "LYRICS200"
// ID3v1 record: "TAG", title 30, artist 30, album 30, year 4, comment 30
//   (ID3v1.1: comment 28, a zero byte, track), genre byte.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace covrilo {

class TStream;

// Genre names of this unit, rows 0..147.
inline constexpr size_t ID3v1GenreCount = 148;
extern const std::array<std::string_view, ID3v1GenreCount> ID3v1Genres;

// Widest values the Lyrics3 v2.00 digit counts can describe.
inline constexpr size_t Lyrics3MaxFieldSize = 99999;
inline constexpr size_t Lyrics3MaxBlockSize = 999999;

class TID3v1 {
   public:
    TID3v1() = default;

    // Options of the unit, off unless a caller switches them on. They live in the object
    // rather than in the module so that no state is shared between callers.
    bool KeepFileTime = false;        // keep the modification time over a write
    bool AlwaysWriteLyrics3 = false;  // write a block even without lyrics, author or images
    bool DefaultGenreOther = false;   // an unknown genre name gives 12 ("Other")

    bool Exists = false;
    uint8_t VersionID = 1;  // 1 = ID3v1.0, 2 = ID3v1.1
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    uint8_t TrackNo = 0;
    uint8_t Genre = 255;
    bool Lyrics3Exists = false;
    int Lyrics3Size = 0;  // block size from the trailer, without the 15 trailer bytes
    std::string ExtArtist;
    std::string ExtAlbum;
    std::string ExtTitle;
    std::string ExtComment;
    std::string ImageLinks;
    std::string Author;
    std::string Lyrics;

    // Why the last operation answered false ("locked by another program", ...).
    std::string LastError;

    void ResetData();

    // Answers whether no error occurred; Exists tells whether there is a record.
    bool ReadFromFile(const std::filesystem::path& FileName);
    // The same from a stream the caller holds (a file it keeps locked for a save).
    bool ReadFromStream(TStream& Stream);
    // Where the audio ends in Stream: in front of a Lyrics3 v2.00 block and an ID3v1 record.
    static int64_t AudioEnd(TStream& Stream);
    // Replaces the record and block at the end of the file by ones made from the values.
    bool SaveToFile(const std::filesystem::path& FileName);
    // Removes record and block; with KeepID3v1 the record is written again from the values.
    bool RemoveFromFile(const std::filesystem::path& FileName, bool KeepID3v1);
    // Finds record and block; sets Exists, Lyrics3Exists and Lyrics3Size from the file
    // and, with ReadValues, the values.
    bool LoadTag(const std::filesystem::path& FileName, bool ReadValues);
    // Appends a block (when there is something to carry and WriteLyrics3) and a record.
    bool SaveTag(const std::filesystem::path& FileName, bool WriteLyrics3);

    void SetTitle(std::string_view Value);
    void SetArtist(std::string_view Value);
    void SetAlbum(std::string_view Value);
    void SetComment(std::string_view Value);
    void SetYear(std::string_view Value);
    void SetTrackNo(uint8_t Value) { TrackNo = Value; }
    void SetGenreName(std::string_view Name);

    std::string GetTitle() const { return ExtTitle.empty() ? Title : ExtTitle; }
    std::string GetArtist() const { return ExtArtist.empty() ? Artist : ExtArtist; }
    std::string GetAlbum() const { return ExtAlbum.empty() ? Album : ExtAlbum; }
    std::string GetComment() const { return ExtComment.empty() ? Comment : ExtComment; }
    std::string GetGenreName() const;
    // Whole block size on disk including the 15 trailer bytes; 0 without a block.
    int GetLyrics3Size() const { return Lyrics3Size > 0 ? Lyrics3Size + 15 : 0; }

    // The bytes SaveTag writes: the Lyrics3 block (empty when none is due) and the record.
    std::vector<uint8_t> BuildLyrics3Block(bool WriteLyrics3) const;
    std::array<uint8_t, 128> BuildRecord() const;
    // Both, as they end the file.
    std::vector<uint8_t> BuildTail(bool WriteLyrics3) const;

   private:
    struct TTailInfo {
        bool HasRecord = false;
        int Lyrics3Size = 0;
        int64_t FileSize = 0;
        // Where the audio ends: in front of the block and the record.
        int64_t AudioEnd() const {
            return FileSize - (HasRecord ? 128 : 0) - (Lyrics3Size > 0 ? Lyrics3Size + 15 : 0);
        }
    };
    TTailInfo ScanTail(TStream& Stream, bool ReadValues);
    // Replaces the tail of FileName from the end of its audio on by Tail, in one save.
    void ReplaceTail(const std::filesystem::path& FileName, const std::vector<uint8_t>& Tail, bool Append);
    void ParseRecord(const std::array<uint8_t, 128>& Record);
    void ParseLyrics3Fields(const std::vector<uint8_t>& Block);
};

}  // namespace covrilo
