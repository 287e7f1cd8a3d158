// SPDX-License-Identifier: MIT
// The 128-byte ID3v1 / ID3v1.1 record at the end of an MP3 file, modelled as one more
// entry of the ID3v2 engine's frame list (always entry 0 when present).
//
// Layout (offset, width): 0 "TAG" 3 | 3 title 30 | 33 artist 30 | 63 album 30 | 93 year 4 |
// 97 comment 30 (v1.0) or 28 (v1.1) | 125 zero (v1.1) | 126 track (v1.1) | 127 genre.
// Texts are one-byte system code page; a slot ends at its first zero byte or its width.
#pragma once

#include <cstdint>
#include <string>

#include "id3v2/frames/TBaseFrame.h"

namespace covrilo {

class TID3v1Tag : public TBaseFrame {
   public:
    static constexpr int64_t RecordSize = 128;

    TID3v1Tag();

    uint32_t GetDataSize(uint16_t /*Version*/) override { return RecordSize; }
    uint32_t GetHeaderSize(uint16_t /*Version*/) override { return 0; }
    // True when the stream ends with a record; fills the fields. Version is ignored.
    // The stream position is restored whatever happens.
    bool LoadFromStream(TStream& Stream, uint16_t Version = 0) override;
    // Overwrites a trailing record in place or appends one; true when all 128 bytes were
    // written. Version is ignored; the stream position is restored.
    bool SaveToStream(TStream& Stream, uint16_t Version = 0) override;
    // Cuts a trailing record off the stream; a stream without one is left alone.
    bool RemoveFromStream(TStream& Stream);
    // From another TID3v1Tag: all values. From a text frame (TIT2, TPE1, TALB, TYER, TRCK,
    // TCON) or a comment frame: the matching field. True when a value was taken.
    bool Assign(const TBaseFrame& Source) override;

    void SetTitle(const std::string& Value);
    void SetArtist(const std::string& Value);
    void SetAlbum(const std::string& Value);
    void SetYear(const std::string& Value);
    // Keeps at most 28 characters while IsVersion11, else 30.
    void SetComment(const std::string& Value);
    void SetGenre(uint8_t Value);
    // Stored only while IsVersion11; an ID3v1.0 record has no track (stores 0).
    void SetTrackNo(uint8_t Value);
    // Switching to ID3v1.1 cuts Comment to 28 characters (the track byte takes the rest).
    void SetIsVersion11(bool Value);

    // Read directly; change through the setters so that Modified stays right.
    std::string Artist;
    std::string Title;
    std::string Album;
    std::string Year;
    std::string Comment;
    uint8_t Genre = 0;
    uint8_t TrackNo = 0;
    bool IsVersion11 = true;
};

}  // namespace covrilo
