// SPDX-License-Identifier: MIT
// FLAC: stream information and the Vorbis comment block, read and written back either in
// place (into the space of the old comment block and its padding) or by copying the
// whole file through a temporary file named after the file with "~" appended.
//
// Layout: [optional ID3v2 tag] "fLaC", metadata blocks, audio frames. A block header is
// 4 bytes: bit 7 of byte 0 marks the last block, bits 0..6 the type (0 STREAMINFO,
// 1 PADDING, 2 APPLICATION, 3 SEEKTABLE, 4 VORBIS_COMMENT, 5 CUESHEET, 6 PICTURE), bytes
// 1..3 the data length (24-bit big-endian). STREAMINFO comes first and is 34 bytes long.
// Comment block data: vendor length (LE32), vendor, entry count (LE32), then per entry
// its length (LE32) and "KEY=value" in UTF-8.
// A leading ID3v2 tag is kept byte for byte; every FLAC offset counts from "fLaC".
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/ID3v2.h"

namespace covrilo {

// A metadata block kept as it was read: its 4-byte header and its data.
struct TFLACMetaBlock {
    std::array<uint8_t, 4> Header{};
    std::vector<uint8_t> Data;
};

// The keys with a field of their own, in the order in which they are written. Keys from
// fkPerformer on belong to the extended set that a basic save leaves out.
enum TFLACKey : int {
    fkTrackNumber,
    fkArtist,
    fkAlbum,
    fkTitle,
    fkDate,
    fkGenre,
    fkComment,
    fkComposer,
    fkLanguage,
    fkCopyright,
    fkWWW,
    fkEncodedBy,
    fkTones,
    fkStyles,
    fkMood,
    fkSituation,
    fkRating,
    fkQuality,
    fkTempo,
    fkType,
    fkPerformer,
    fkLicense,
    fkOrganization,
    fkDescription,
    fkLocation,
    fkContact,
    fkISRC,
    fkLyrics
};
inline constexpr int kFLACKeyCount = 28;
inline constexpr int kFLACBasicKeyCount = 20;

class TFLACfile {
   public:
    TFLACfile();

    // The key text of a field ("TRACKNUMBER" for fkTrackNumber).
    static std::string_view KeyName(int Key);
    // The field of Key (compared ignoring ASCII case), or -1.
    static int KeyIndex(std::string_view Key);

    // Value of a key: its own field, or the first extra entry with that key; "" if none.
    std::string GetValue(std::string_view Key) const;
    // Sets a key's own field, or the first extra entry with that key (appended when none).
    void SetValue(std::string_view Key, std::string Value);

    std::array<uint8_t, 42> Header{};  // "fLaC", STREAMINFO header and STREAMINFO
    std::filesystem::path FileName;
    uint8_t Channels = 0;
    uint8_t BitsPerSample = 0;
    int SampleRate = 0;
    int64_t Samples = 0;
    int64_t FileSize = 0;
    int64_t StreamOffset = 0;  // file offset of "fLaC" (size of a leading ID3v2 tag)
    int64_t AudioOffset = 0;   // file offset of the first audio frame
    int Bitrate = 0;           // kbit/s
    int VorbisIndex = 0;       // positions among the blocks after STREAMINFO, from 1; 0 = none
    int PaddingIndex = 0;
    int64_t VCOffset = 0;  // file offset of the comment block's data
    int TagSize = 0;       // length of the comment block's data
    int PaddingSize = 0;   // length of the first padding block's data
    bool PaddingLast = false;
    bool HasExtraPadding = false;
    std::vector<TFLACMetaBlock> OtherBlocks;  // every other block, in file order
    std::string VendorInfo;
    bool Exists = false;                            // the comment block holds at least one entry
    std::array<std::string, kFLACKeyCount> Values;  // one-byte, system code page
    std::vector<std::pair<std::string, std::string>> ExtraFields;  // other entries (key, value)
    bool KeepFileTime = false;  // keep the file's modification time over a save
    // Why the last save answered false.
    std::string LastError;
    TID3v2 ID3v2Probe;  // finds the size of an ID3v2 tag in front of the stream

    void ResetData(bool HeaderInfo, bool TagInfo);
    bool ReadFromFile(const std::filesystem::path& FileName);
    // Reads header, blocks and, with ReadValues, the comment entries; answers IsValid.
    // File errors raise. Truncated metadata makes the file invalid.
    bool GetInfo(const std::filesystem::path& FileName, bool ReadValues);
    bool IsValid() const;
    double Duration() const;
    // Writes the key fields (all, or the basic ones) and the extra entries as the file's
    // comment block. Values the file already holds and this object did not change are
    // written back byte for byte. An object that did not read its values from this file
    // (a fresh one) updates only the keys it gives a value: the file's other entries
    // are kept after them. Errors of reading the file raise; errors of writing
    // answer false, and what cannot be represented is refused with the file untouched.
    bool SaveToFile(const std::filesystem::path& FileName, bool BasicOnly);

   private:
    void ReadComment(const std::vector<uint8_t>& Data, bool ReadValues);
    bool WriteCommentBlock(const std::filesystem::path& FileName, const std::vector<uint8_t>& Data);

    // The entries of the file's comment block as stored: upper-cased key, raw UTF-8 value.
    std::vector<std::pair<std::string, std::string>> fileEntries_;
    // The file the key fields were read from; empty for a fresh object.
    std::filesystem::path valuesFrom_;
};

}  // namespace covrilo
