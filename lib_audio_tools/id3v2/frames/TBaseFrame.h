// SPDX-License-Identifier: MIT
// Base of every ID3v2 frame: identifier, frame header of 2.2/2.3/2.4 with flags and extra
// header bytes, names from the known-frame table, and strings in the four text encodings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
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

    // The size field of a 2.3 frame (32-bit big-endian, or little-endian where some writers
    // put it: see ReadFrameHeader) or of a 2.4 frame (syncsafe). Size points at four bytes.
    static uint32_t DecodeFrameSize(const uint8_t* Size, uint8_t Major);

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

    // Compressed or encrypted content is stored in a form that is not the frame's values:
    // such a frame writes its content back as stored while it is unchanged.
    bool ContentKeptAsStored() const;
    // False when the frame's values could not be read: encrypted content, or compressed
    // content that does not inflate. Such a frame can only be written back as stored.
    bool ContentReadable() const { return contentReadable_; }

    // Why the frame cannot be written into Version without changing what it holds, for a
    // message ("is encrypted, ..."); empty when it can. A save asks before it writes.
    virtual std::string CarryProblem(uint16_t Version);
    // Called before a frame is measured and written in Version: a frame that cannot write
    // its content as read drops it (and the stored form) and renders from its values.
    virtual void PrepareSave(uint16_t Version);
    // Sets where the frame was read (and, for a frame holding frames, where they were).
    virtual void SetFileOffset(int64_t Offset) { FileOffset = Offset; }
    // True while the frame writes its content as read: unchanged since, and valid in Version.
    bool WritesOriginal(uint16_t Version) const;

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
    // Where the frame's header starts in the file (for messages); -1 for a frame made here.
    int64_t FileOffset = -1;
    // The version whose layout the frame was read in; 0 for a frame made here.
    uint16_t LoadedVersion = 0;

   protected:
    // The frame envelope. A frame class parses and renders its own fields only; these read
    // and write the header around them, write unchanged content back as it was read, and
    // take the size of rendered content from the rendered bytes, so that the header always
    // counts exactly what follows it.
    // Header, content (ReadContent) and ParseFields; the frame is then Stored, not Modified.
    bool ParseFrame(TStream& Stream, uint16_t Version);
    // The content as read while it is written so (WritesOriginal), else RenderFields and
    // ContentTail. Raises when the values are unknown or cannot be rendered for Version.
    uint32_t RenderedSize(uint16_t Version);
    // Header and the content RenderedSize counts; the frame is then Stored, not Modified.
    bool RenderFrame(TStream& Stream, uint16_t Version);

    // Hooks of the envelope. After the header of a load, before the content: forget the values.
    virtual void ClearFields() {}
    // The values from plain content; not called for content that cannot be read.
    virtual void ParseFields(std::span<const uint8_t> Content, uint16_t Version);
    // The content for Version from the values, up to ContentTail. Changes nothing in the frame.
    virtual std::vector<uint8_t> RenderFields(uint16_t Version);
    // Bulk bytes that end the content and that a field of the frame holds (the image, the
    // private data): rendered after RenderFields, and kept from the load by KeepOriginalPrefix.
    virtual std::span<const uint8_t> ContentTail() const { return {}; }
    // After RenderFrame wrote the rendered Fields (and ContentTail) in Version.
    virtual void FieldsRendered(std::span<const uint8_t> /*Fields*/, uint16_t /*Version*/) {}

    // WriteFrameHeader for content of ContentSize bytes.
    bool WriteHeaderFor(TStream& Stream, uint16_t Version, uint32_t ContentSize);
    // Raises EID3LibFrameIDInvalid while the identifier is still Placeholder.
    void RefusePlaceholderID(std::string_view Placeholder) const;
    // Field writers for RenderFields: what WriteText and WriteLatin1 write, appended to Out.
    static void AppendText(std::vector<uint8_t>& Out, std::u16string_view Text, bool BigEndian,
                           TTextEncoding Encoding);
    static void AppendLatin1(std::vector<uint8_t>& Out, std::string_view Text);

    // After ReadFrameHeader: reads the content (DataSize bytes, never past the stream),
    // undoes the frame's own unsynchronisation and keeps the bytes as read. Returns the
    // content to parse: the bytes read, or their inflation when compressed (into Inflated);
    // nothing when the values cannot be read (encrypted, not inflatable, or Parse false).
    std::optional<std::span<const uint8_t>> ReadContent(TStream& Stream, std::vector<uint8_t>& Inflated,
                                                        bool Parse = true);
    // Whether the content kept from the load is valid content of Version. The same version
    // always is; between versions the frame's layout decides (LayoutFits).
    virtual bool OriginalFits(uint16_t Version) const;
    virtual bool LayoutFits(uint8_t FromMajor, uint8_t ToMajor) const;
    // What a frame that renders from its values cannot write into Version ("" when nothing).
    virtual std::string RenderProblem(uint16_t Version);
    // The content kept from the load: its size and the writing of it.
    virtual uint32_t OriginalSize() const;
    virtual bool WriteOriginal(TStream& Stream) const;
    // After parsing plain content: keeps its first PrefixSize bytes only, the rest being
    // what ContentTail gives. Content in stored form stays whole.
    void KeepOriginalPrefix(size_t PrefixSize);
    // Header and the content as read.
    bool SaveOriginal(TStream& Stream, uint16_t Version);
    // Before rendering from the values: raises when they are unknown; drops the content
    // as read and the stored form (rendered content is plain).
    virtual void PrepareRender(uint16_t Version);
    // Drops the content as read (the values now describe the frame).
    void DropOriginal();
    // A frame about to be measured from its values: raises EID3LibFrameVersionMismatch when
    // they are unknown (its content could not be read).
    void RequireValues(uint16_t Version);

    std::vector<uint8_t> originalContent_;
    bool hasOriginal_ = false;
    bool hasOriginalTail_ = false;
    bool contentReadable_ = true;
};

// An identifier for messages: bytes outside printable ASCII as \xNN.
std::string PrintableFrameID(std::string_view ID);

}  // namespace covrilo
