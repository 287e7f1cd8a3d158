// SPDX-License-Identifier: MIT
// Base of every ID3v2 frame: identifier, frame header of 2.2/2.3/2.4 with flags and extra
// header bytes, names from the known-frame table, and strings in the four text encodings.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "id3v2/ID3v2Types.h"
#include "io/EnhancedStreams.h"

namespace covrilo {

class TBaseFrame {
public:
    TBaseFrame();
    virtual ~TBaseFrame() = default;
    TBaseFrame(const TBaseFrame&) = delete;
    TBaseFrame& operator=(const TBaseFrame&) = delete;

    // Bytes of content after the frame header when written in Version.
    virtual uint32_t GetDataSize(uint16_t Version) = 0;
    // Bytes of the frame header including its extra bytes (2.4: compression adds the
    // data length indicator flag first).
    virtual uint32_t GetHeaderSize(uint16_t Version);
    // Reads the frame header at the stream's position; false when it could not be read
    // whole. Raises EID3LibLoadException for an unknown 2.2 identifier or 2.4 compression
    // without data length indicator.
    virtual bool ReadFrameHeader(TStream& Stream, uint16_t Version);
    // Writes the header for Version; true when every byte was written.
    virtual bool WriteFrameHeader(TStream& Stream, uint16_t Version);
    // Header and content; true on success. Consumes exactly the frame.
    virtual bool LoadFromStream(TStream& Stream, uint16_t Version) = 0;
    // Header and content; true on success.
    virtual bool SaveToStream(TStream& Stream, uint16_t Version) = 0;
    // Takes FrameName, FrameDescription and SupportedVersions from the first row of the
    // known-frame table whose 4- or 3-character identifier equals FrameID.
    virtual void RefreshNames();
    virtual uint8_t GetSupportedVersions() { return SupportedVersions; }
    // Takes the values of another frame; true when it could.
    virtual bool Assign(const TBaseFrame& Source);

    // The identifier (up to four characters, ending at a zero character).
    std::string FrameID() const;
    // Ignored unless ID has at least four characters; copies the first four, then RefreshNames.
    void SetFrameID(std::string_view ID);

    // Text helpers shared by all frame classes.
    static uint32_t EncodedTextSize(std::u16string_view Text, TTextEncoding Encoding);
    // Reads one string ending in the encoding's terminator, at most MaxBytes; returns the
    // bytes consumed (byte-order mark and terminator included). Never reads past the stream.
    static int64_t ReadText(TStream& Stream, int64_t MaxBytes, bool& BigEndian, std::u16string& Text,
                            TTextEncoding Encoding);
    // Writes Text with its terminator (and for teUTF16 a byte-order mark); true when every
    // byte was written.
    static bool WriteText(TStream& Stream, std::u16string_view Text, bool BigEndian, TTextEncoding Encoding);
    // ReadText over a byte buffer: one string ending in the terminator or at the end of In;
    // returns the bytes consumed.
    static size_t ParseText(std::span<const uint8_t> In, bool& BigEndian, std::u16string& Text,
                            TTextEncoding Encoding);
    // The bytes WriteText writes.
    static std::vector<uint8_t> EncodeText(std::u16string_view Text, bool BigEndian, TTextEncoding Encoding);
    // One-byte strings (URLs, MIME types, owner identifiers) kept byte for byte, with a
    // zero terminator in the file.
    static int64_t ReadLatin1(TStream& Stream, int64_t MaxBytes, std::string& Text);
    static bool WriteLatin1(TStream& Stream, std::string_view Text);
    static bool WriteBytes(TStream& Stream, std::span<const uint8_t> Bytes);
    static bool ReadByte(TStream& Stream, uint8_t& Value);
    // Moves forward by Count bytes, never past the end of the stream.
    static void SkipBytes(TStream& Stream, int64_t Count);
    // The encoding byte of a frame: 0..3, anything else teUnknown (written as 255).
    static TTextEncoding EncodingFromByte(uint8_t Byte);
    static uint8_t EncodingToByte(TTextEncoding Encoding);

    // Compressed or encrypted content cannot be parsed: such a frame keeps its content bytes
    // as stored and writes them back unchanged.
    bool ContentKeptAsStored() const;

    std::string FrameName;
    std::string FrameDescription;
    std::array<char, 4> FFrameID{};  // 2.3/2.4 form, also for frames read from 2.2 tags
    TFrameFlags FrameFlags = 0;
    bool Deleted = false;
    bool Stored = false;
    uint32_t FrameSize = 0;
    uint32_t DataSize = 0;
    uint8_t EncryptionMethod = 0;
    uint8_t GroupSymbol = 0;
    uint32_t DataLength = 0;
    uint8_t SupportedVersions = 0;
    bool Modified = false;
    // The content bytes of a frame whose content is kept as stored (see ContentKeptAsStored).
    std::vector<uint8_t> StoredContent;

protected:
    // Reads the rest of the content (DataSize bytes, bounded by the stream) into StoredContent.
    bool LoadStoredContent(TStream& Stream);
    // Writes the header and StoredContent.
    bool SaveStoredContent(TStream& Stream, uint16_t Version);
    // The content of a frame with its own unsynchronisation flag, decoded (FF 00 -> FF) into
    // Plain: DataSize becomes the decoded size and the flag is dropped, as the content is
    // written plain. Other frames read straight from Stream, which is returned.
    TStream& PlainContent(TStream& Stream, TMemoryStream& Plain);
    // The size of StoredContent; raises EID3LibFrameVersionMismatch when Version has no
    // flag to mark the content as it is stored.
    uint32_t StoredContentSize(uint16_t Version) const;
};

}  // namespace covrilo
