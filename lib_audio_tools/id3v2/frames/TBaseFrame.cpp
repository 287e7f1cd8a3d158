// SPDX-License-Identifier: MIT
// Frame headers:
//   2.2: id(3) size(3, big-endian)
//   2.3: id(4) size(4, big-endian) flags(2) [decompressed size(4)] [method(1)] [group(1)]
//   2.4: id(4) size(4, syncsafe)   flags(2) [group(1)] [method(1)] [data length(4, syncsafe)]
// The size counts the bracketed extra bytes and the content. Strings end in a zero byte
// (ISO-8859-1, UTF-8) or a zero unit (UTF-16 with byte-order mark, UTF-16BE without).
#include "id3v2/frames/TBaseFrame.h"

#include "io/ByteCursor.h"

#include <algorithm>
#include <vector>

#include "id3v2/ID3v2KnownFrames.h"
#include "io/ZlibCodec.h"
#include "io/TextConversion.h"

namespace covrilo {

namespace {

void PutSyncsafe(std::vector<uint8_t>& Out, uint32_t Value) {
    uint8_t Bytes[4];
    EncodeSyncsafe(Value, Bytes);
    Out.insert(Out.end(), Bytes, Bytes + 4);
}

bool IsTwoByte(TTextEncoding Encoding) { return Encoding == teUTF16 || Encoding == teUTF16BE; }

// Flag bits of the two header flag bytes, per version: {internal flag, byte index 0/1, mask}.
struct TFlagBit {
    TFrameFlags Flag;
    int Byte;
    uint8_t Mask;
};
constexpr TFlagBit kFlags23[] = {
    {ffTagAlterPreservation, 0, 0x80}, {ffFileAlterPreservation, 0, 0x40}, {ffReadOnly, 0, 0x20},
    {ffCompression, 1, 0x80},          {ffEncryption, 1, 0x40},            {ffGroupingIdentity, 1, 0x20},
};
constexpr TFlagBit kFlags24[] = {
    {ffTagAlterPreservation, 0, 0x40}, {ffFileAlterPreservation, 0, 0x20}, {ffReadOnly, 0, 0x10},
    {ffCompression, 1, 0x08},          {ffEncryption, 1, 0x04},            {ffGroupingIdentity, 1, 0x40},
    {ffUnsynchronisation, 1, 0x02},    {ffDataLengthIndicator, 1, 0x01},
};

template <size_t N>
TFrameFlags DecodeFlags(const TFlagBit (&Table)[N], uint8_t Byte0, uint8_t Byte1) {
    TFrameFlags Flags = 0;
    for (const auto& Bit : Table) {
        const uint8_t Value = Bit.Byte == 0 ? Byte0 : Byte1;
        if (Value & Bit.Mask) Flags |= Bit.Flag;
    }
    return Flags;
}

template <size_t N>
void EncodeFlags(const TFlagBit (&Table)[N], TFrameFlags Flags, uint8_t& Byte0, uint8_t& Byte1) {
    Byte0 = Byte1 = 0;
    for (const auto& Bit : Table) {
        if (Flags & Bit.Flag) (Bit.Byte == 0 ? Byte0 : Byte1) |= Bit.Mask;
    }
}

// Position just past the first terminator of Encoding in In (aligned to units for the
// two-byte encodings), or npos when In holds none.
size_t FindTerminatorEnd(std::span<const uint8_t> In, TTextEncoding Encoding) {
    if (IsTwoByte(Encoding)) {
        for (size_t I = 0; In.size() - I >= 2; I += 2) {
            if (In[I] == 0 && In[I + 1] == 0) return I + 2;
        }
        return std::string::npos;
    }
    const auto It = std::find(In.begin(), In.end(), uint8_t{0});
    return It == In.end() ? std::string::npos : static_cast<size_t>(It - In.begin()) + 1;
}

// The size of rendered content; beyond any size field it stays too large, which
// WriteHeaderFor refuses.
uint32_t ContentSizeOf(std::span<const uint8_t> Fields, std::span<const uint8_t> Tail) {
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{Fields.size()} + Tail.size(), UINT32_MAX));
}

}  // namespace

TBaseFrame::TBaseFrame() = default;

uint32_t TBaseFrame::DecodeFrameSize(const uint8_t* Size, uint8_t Major) {
    if (Major != 3) return DecodeSyncsafe(Size);
    // Some writers put a little-endian size into 2.3 frames: a big-endian reading above
    // 16 MiB whose little-endian reading is small is taken little-endian.
    const std::span<const uint8_t> field(Size, 4);
    const uint32_t BigEndianSize = U32BEAt(field, 0);
    const uint32_t LittleEndianSize = U32LEAt(field, 0);
    return (LittleEndianSize < 65535 && BigEndianSize > 16777215) ? LittleEndianSize : BigEndianSize;
}

uint32_t TBaseFrame::GetHeaderSize(uint16_t Version) {
    const uint8_t Major = MajorVersion(Version);
    if (Major == 2) return 6;
    if (Major == 3) {
        uint32_t Size = 10;
        if (FrameFlags & ffCompression) Size += 4;
        if (FrameFlags & ffEncryption) Size += 1;
        if (FrameFlags & ffGroupingIdentity) Size += 1;
        return Size;
    }
    if (Major == 4) {
        // A compressed 2.4 frame must carry the data length indicator.
        if (FrameFlags & ffCompression) FrameFlags |= ffDataLengthIndicator;
        uint32_t Size = 10;
        if (FrameFlags & ffGroupingIdentity) Size += 1;
        if (FrameFlags & ffEncryption) Size += 1;
        if (FrameFlags & ffDataLengthIndicator) Size += 4;
        return Size;
    }
    return 0;
}

bool TBaseFrame::ReadFrameHeader(TStream& Stream, uint16_t Version) {
    const uint8_t Major = MajorVersion(Version);
    uint8_t Header[10];
    if (Major == 2) {
        if (Stream.Read(Header, 6) != 6) return false;
        const std::string ID22(reinterpret_cast<const char*>(Header), 3);
        std::string ID;
        if (!ConvertID22To23(ID22, ID) || ID.size() < 4)
            throw EID3LibLoadException("unknown ID3v2.2.x frame id \"" + ID22 + "\"");
        std::copy_n(ID.begin(), 4, FFrameID.begin());
        FrameSize = U24BEAt(Header, 3);
    } else if (Major == 3 || Major == 4) {
        if (Stream.Read(Header, 10) != 10) return false;
        std::copy_n(reinterpret_cast<const char*>(Header), 4, FFrameID.begin());
        FrameSize = DecodeFrameSize(Header + 4, Major);
    } else {
        return false;
    }

    RefreshNames();
    DataSize = FrameSize;
    FrameFlags = 0;
    LoadedVersion = Version;

    // Each extra header byte belongs to the frame: a size too small to hold them is a header
    // that cannot be read, never an invitation to read the next frame's bytes.
    auto TakeExtra = [this, &Stream](uint8_t* Buffer, uint32_t Count) {
        if (DataSize < Count) return false;
        if (Stream.Read(Buffer, Count) != static_cast<int64_t>(Count)) return false;
        DataSize -= Count;
        return true;
    };

    uint8_t Extra[4];
    if (Major == 3) {
        FrameFlags = DecodeFlags(kFlags23, Header[8], Header[9]);
        if (FrameFlags & ffCompression) {
            if (!TakeExtra(Extra, 4)) return false;
            DataLength = U32BEAt(Extra, 0);
        }
        if (FrameFlags & ffEncryption) {
            if (!TakeExtra(&EncryptionMethod, 1)) return false;
        }
        if (FrameFlags & ffGroupingIdentity) {
            if (!TakeExtra(&GroupSymbol, 1)) return false;
        }
    } else if (Major == 4) {
        FrameFlags = DecodeFlags(kFlags24, Header[8], Header[9]);
        if (FrameFlags & ffGroupingIdentity) {
            if (!TakeExtra(&GroupSymbol, 1)) return false;
        }
        if (FrameFlags & ffEncryption) {
            if (!TakeExtra(&EncryptionMethod, 1)) return false;
        }
        if (FrameFlags & ffDataLengthIndicator) {
            if (!TakeExtra(Extra, 4)) return false;
            DataLength = DecodeSyncsafe(Extra);
        }
        if ((FrameFlags & ffCompression) && !(FrameFlags & ffDataLengthIndicator))
            throw EID3LibLoadException("invalid frame header: compression used without data length indicator!");
    }
    return true;
}

bool TBaseFrame::WriteFrameHeader(TStream& Stream, uint16_t Version) {
    const uint8_t Major = MajorVersion(Version);
    if (Major < 2 || Major > 4) return false;
    return WriteHeaderFor(Stream, Version, GetDataSize(Version));
}

bool TBaseFrame::WriteHeaderFor(TStream& Stream, uint16_t Version, uint32_t ContentSize) {
    const uint8_t Major = MajorVersion(Version);
    if (Major < 2 || Major > 4) return false;

    DataSize = ContentSize;
    // Content kept as stored (compressed, encrypted) still has the length it had when
    // decoded; only plain content is described by its own size.
    if (!(ContentKeptAsStored() && Stored)) DataLength = DataSize;

    const std::string ID = FrameID();
    std::vector<uint8_t> Out;
    Out.reserve(20);
    if (Major == 2) {
        FrameSize = DataSize;
        std::string ID22;
        if (!ConvertID23To22(ID, ID22) || ID22.size() != 3)
            throw EID3LibFrameVersionMismatch("there is no equivalent frame id for \"" + ID + "\" in ID3v2.2.x");
        if (DataSize > 0xFFFFFF)
            throw EID3LibFrameVersionMismatch("frame \"" + ID + "\" is too large for ID3v2.2.x");
        Out.insert(Out.end(), ID22.begin(), ID22.end());
        Out.push_back(static_cast<uint8_t>(DataSize >> 16));
        Out.push_back(static_cast<uint8_t>(DataSize >> 8));
        Out.push_back(static_cast<uint8_t>(DataSize));
    } else {
        const uint32_t HeaderSize = GetHeaderSize(Version);
        const uint64_t Total = uint64_t{HeaderSize} + DataSize - 10;
        // A 2.4 size is 28 bits wide; a larger frame would be written with a wrong size.
        if (Total > (Major == 3 ? 0xFFFFFFFFull : 0x0FFFFFFFull))
            throw EID3LibFrameVersionMismatch("frame \"" + ID + "\" is too large for ID3v2." +
                                              std::to_string(Major) + ".x");
        FrameSize = static_cast<uint32_t>(Total);
        for (size_t I = 0; I < 4; ++I) Out.push_back(static_cast<uint8_t>(FFrameID[I]));
        uint8_t Flag0 = 0, Flag1 = 0;
        if (Major == 3) {
            AppendU32BE(Out, FrameSize);
            EncodeFlags(kFlags23, FrameFlags, Flag0, Flag1);
            Out.push_back(Flag0);
            Out.push_back(Flag1);
            if (FrameFlags & ffCompression) AppendU32BE(Out, DataLength);
            if (FrameFlags & ffEncryption) Out.push_back(EncryptionMethod);
            if (FrameFlags & ffGroupingIdentity) Out.push_back(GroupSymbol);
        } else {
            PutSyncsafe(Out, FrameSize);
            EncodeFlags(kFlags24, FrameFlags, Flag0, Flag1);
            Out.push_back(Flag0);
            Out.push_back(Flag1);
            if (FrameFlags & ffGroupingIdentity) Out.push_back(GroupSymbol);
            if (FrameFlags & ffEncryption) Out.push_back(EncryptionMethod);
            if (FrameFlags & ffDataLengthIndicator) PutSyncsafe(Out, DataLength);
        }
    }
    return WriteBytes(Stream, Out);
}

void TBaseFrame::RefreshNames() {
    if (const TKnownFrame* Row = FindKnownFrame(FrameID())) {
        FrameName = Row->Name;
        FrameDescription = Row->Description;
        SupportedVersions = Row->Versions;
    }
}

bool TBaseFrame::Assign(const TBaseFrame&) { return false; }

std::string TBaseFrame::FrameID() const {
    std::string ID;
    for (char C : FFrameID) {
        if (C == '\0') break;
        ID.push_back(C);
    }
    return ID;
}

void TBaseFrame::SetFrameID(std::string_view ID) {
    if (ID.size() < 4) return;
    std::copy_n(ID.begin(), 4, FFrameID.begin());
    RefreshNames();
}

uint32_t TBaseFrame::EncodedTextSize(std::u16string_view Text, TTextEncoding Encoding) {
    const auto L = static_cast<uint32_t>(Text.size());
    switch (Encoding) {
        case teISO8859_1: return L + 1;
        case teUTF8: return static_cast<uint32_t>(Utf8Length(Text)) + 1;
        case teUTF16: return 2 * (L + 1) + 2;
        case teUTF16BE: return 2 * (L + 1);
        default: return L;
    }
}

size_t TBaseFrame::ParseText(std::span<const uint8_t> In, bool& BigEndian, std::u16string& Text,
                             TTextEncoding Encoding) {
    Text.clear();
    BigEndian = false;
    const size_t TermEnd = FindTerminatorEnd(In, Encoding);
    const size_t Consumed = TermEnd == std::string::npos ? In.size() : TermEnd;
    if (IsTwoByte(Encoding)) {
        const size_t TextEnd = TermEnd == std::string::npos ? (Consumed & ~size_t{1}) : TermEnd - 2;
        size_t Pos = 0;
        bool Big = Encoding == teUTF16BE;
        if (Encoding == teUTF16 && TextEnd >= 2) {
            if (In[0] == 0xFF && In[1] == 0xFE) {
                Pos = 2;
            } else if (In[0] == 0xFE && In[1] == 0xFF) {
                Pos = 2;
                Big = BigEndian = true;
            }
        }
        Text.reserve((TextEnd - Pos) / 2);
        for (; Pos < TextEnd; Pos += 2) {
            const uint16_t Hi = Big ? In[Pos] : In[Pos + 1];
            const uint16_t Lo = Big ? In[Pos + 1] : In[Pos];
            Text.push_back(static_cast<char16_t>((Hi << 8) | Lo));
        }
    } else {
        const size_t TextEnd = TermEnd == std::string::npos ? Consumed : TermEnd - 1;
        const std::string_view Bytes(reinterpret_cast<const char*>(In.data()), TextEnd);
        if (Encoding == teUTF8) {
            Text = Utf8ToWide(Bytes);
        } else {
            Text.reserve(TextEnd);
            for (unsigned char C : Bytes) Text.push_back(static_cast<char16_t>(C));
        }
    }
    return Consumed;
}

int64_t TBaseFrame::ReadText(TStream& Stream, int64_t MaxBytes, bool& BigEndian, std::u16string& Text,
                             TTextEncoding Encoding) {
    Text.clear();
    BigEndian = false;
    if (MaxBytes <= 0) return 0;
    const int64_t Limit = IsTwoByte(Encoding) ? (MaxBytes & ~int64_t{1}) : MaxBytes;
    if (Limit <= 0) return 0;

    // Read in growing chunks (never more than the stream holds or the limit allows) until
    // the terminator turns up, then give back what was read beyond it.
    std::vector<uint8_t> Buffer;
    int64_t Chunk = 64;
    size_t Consumed = std::string::npos;
    while (static_cast<int64_t>(Buffer.size()) < Limit) {
        const int64_t Want = std::min(Chunk, Limit - static_cast<int64_t>(Buffer.size()));
        const size_t Old = Buffer.size();
        Buffer.resize(Old + static_cast<size_t>(Want));
        const int64_t Got = std::max<int64_t>(0, Stream.Read(Buffer.data() + Old, Want));
        Buffer.resize(Old + static_cast<size_t>(Got));
        // Rescan from a unit boundary at or before the old end.
        const size_t From = IsTwoByte(Encoding) ? (Old & ~size_t{1}) : Old;
        const size_t Found = FindTerminatorEnd(std::span<const uint8_t>(Buffer).subspan(From), Encoding);
        if (Found != std::string::npos) {
            Consumed = From + Found;
            break;
        }
        if (Got < Want) break;
        Chunk = std::min<int64_t>(Chunk * 2, int64_t{1} << 20);
    }
    if (Consumed == std::string::npos) Consumed = Buffer.size();
    if (Buffer.size() > Consumed)
        Stream.Seek(-static_cast<int64_t>(Buffer.size() - Consumed), TSeekOrigin::soCurrent);
    ParseText(std::span<const uint8_t>(Buffer.data(), Consumed), BigEndian, Text, Encoding);
    return static_cast<int64_t>(Consumed);
}

std::vector<uint8_t> TBaseFrame::EncodeText(std::u16string_view Text, bool BigEndian, TTextEncoding Encoding) {
    std::vector<uint8_t> Out;
    auto PutUnit = [&Out](char16_t Unit, bool Big) {
        const auto Hi = static_cast<uint8_t>(Unit >> 8), Lo = static_cast<uint8_t>(Unit & 0xFF);
        Out.push_back(Big ? Hi : Lo);
        Out.push_back(Big ? Lo : Hi);
    };
    switch (Encoding) {
        case teISO8859_1:
            Out.reserve(Text.size() + 1);
            // One byte per unit, so the size stays what EncodedTextSize promised.
            for (char16_t C : Text) Out.push_back(C <= 0xFF ? static_cast<uint8_t>(C) : uint8_t{'?'});
            Out.push_back(0);
            break;
        case teUTF16:
            Out.reserve(2 * Text.size() + 4);
            PutUnit(0xFEFF, BigEndian);
            for (char16_t C : Text) PutUnit(C, BigEndian);
            PutUnit(0, true);
            break;
        case teUTF16BE:
            Out.reserve(2 * Text.size() + 2);
            for (char16_t C : Text) PutUnit(C, true);
            PutUnit(0, true);
            break;
        case teUTF8: {
            const std::string Utf8 = WideToUtf8(Text);
            Out.assign(Utf8.begin(), Utf8.end());
            Out.push_back(0);
            break;
        }
        default:
            break;
    }
    return Out;
}

bool TBaseFrame::WriteText(TStream& Stream, std::u16string_view Text, bool BigEndian, TTextEncoding Encoding) {
    return WriteBytes(Stream, EncodeText(Text, BigEndian, Encoding));
}

int64_t TBaseFrame::ReadLatin1(TStream& Stream, int64_t MaxBytes, std::string& Text) {
    std::u16string Wide;
    bool BigEndian = false;
    const int64_t Consumed = ReadText(Stream, MaxBytes, BigEndian, Wide, teISO8859_1);
    Text.assign(Wide.size(), '\0');
    for (size_t I = 0; I < Wide.size(); ++I) Text[I] = static_cast<char>(Wide[I]);
    return Consumed;
}

bool TBaseFrame::WriteLatin1(TStream& Stream, std::string_view Text) {
    std::vector<uint8_t> Out;
    AppendLatin1(Out, Text);
    return WriteBytes(Stream, Out);
}

bool TBaseFrame::WriteBytes(TStream& Stream, std::span<const uint8_t> Bytes) {
    if (Bytes.empty()) return true;
    return Stream.Write(Bytes.data(), static_cast<int64_t>(Bytes.size())) == static_cast<int64_t>(Bytes.size());
}

bool TBaseFrame::ReadByte(TStream& Stream, uint8_t& Value) { return Stream.Read(&Value, 1) == 1; }

void TBaseFrame::SkipBytes(TStream& Stream, int64_t Count) {
    if (Count <= 0) return;
    Stream.Seek(std::min(Count, Stream.Remaining()), TSeekOrigin::soCurrent);
}

TTextEncoding TBaseFrame::EncodingFromByte(uint8_t Byte) {
    return Byte <= 3 ? static_cast<TTextEncoding>(Byte) : teUnknown;
}

uint8_t TBaseFrame::EncodingToByte(TTextEncoding Encoding) {
    return Encoding <= teUTF8 ? static_cast<uint8_t>(Encoding) : uint8_t{255};
}

bool TBaseFrame::ContentKeptAsStored() const { return (FrameFlags & (ffCompression | ffEncryption)) != 0; }

std::optional<std::span<const uint8_t>> TBaseFrame::ReadContent(TStream& Stream, std::vector<uint8_t>& Inflated,
                                                                 bool Parse) {
    OriginalContent = Stream.ReadBytes(std::min<int64_t>(DataSize, Stream.Remaining()));
    HasOriginal = true;
    HasOriginalTail = false;
    ContentReadable_ = true;
    // Unsynchronisation is a transport form: undone here, the content is kept and written plain.
    if (FrameFlags & ffUnsynchronisation) {
        std::vector<uint8_t> Plain;
        Plain.reserve(OriginalContent.size());
        for (size_t I = 0; I < OriginalContent.size(); ++I) {
            Plain.push_back(OriginalContent[I]);
            if (OriginalContent[I] == 0xFF && OriginalContent.size() - I > 1 && OriginalContent[I + 1] == 0x00) ++I;
        }
        OriginalContent = std::move(Plain);
        FrameFlags &= static_cast<TFrameFlags>(~ffUnsynchronisation);
    }
    DataSize = static_cast<uint32_t>(OriginalContent.size());
    if (!Parse) return std::nullopt;
    if (FrameFlags & ffEncryption) {
        ContentReadable_ = false;
        return std::nullopt;
    }
    if (FrameFlags & ffCompression) {
        if (!InflateZlib(OriginalContent, DataLength, Inflated)) {
            ContentReadable_ = false;
            return std::nullopt;
        }
        return std::span<const uint8_t>(Inflated);
    }
    return std::span<const uint8_t>(OriginalContent);
}

bool TBaseFrame::WritesOriginal(uint16_t Version) const { return HasOriginal && !Modified && OriginalFits(Version); }

bool TBaseFrame::OriginalFits(uint16_t Version) const {
    if (!HasOriginal) return false;
    const uint8_t From = MajorVersion(LoadedVersion), To = MajorVersion(Version);
    if (From == To) return true;
    if (To < 2 || To > 4) return false;
    // 2.2 frames have no flags to mark compressed, encrypted or grouped content.
    if (To == 2 && (FrameFlags & (ffCompression | ffEncryption | ffGroupingIdentity))) return false;
    return LayoutFits(From, To);
}

bool TBaseFrame::LayoutFits(uint8_t, uint8_t) const { return true; }

std::string TBaseFrame::RenderProblem(uint16_t) { return {}; }

std::string TBaseFrame::CarryProblem(uint16_t Version) {
    const uint8_t To = MajorVersion(Version);
    std::string ID22;
    if (To == 2 && (!ConvertID23To22(FrameID(), ID22) || ID22.size() != 3)) return "has no ID3v2.2 identifier";
    // The 2.2 forms of these hold other fields (a three-letter frame identifier in "LNK", a
    // description in place of the method symbol in "CRM"): their content means another thing.
    const std::string ID = FrameID();
    const bool From22 = LoadedVersion != 0 && MajorVersion(LoadedVersion) == 2;
    if ((ID == "LINK" || ID == "ENCR") && LoadedVersion != 0 && From22 != (To == 2))
        return "is laid out differently in ID3v2.2, so it cannot be converted";
    if (WritesOriginal(Version)) return {};
    if (!ContentReadable_) {
        return std::string(FrameFlags & ffEncryption ? "is encrypted" : "holds compressed data that cannot be inflated") +
               ", so it cannot be converted to ID3v2." + std::to_string(To);
    }
    return RenderProblem(Version);
}

void TBaseFrame::PrepareSave(uint16_t Version) {
    if (HasOriginal && !WritesOriginal(Version) && ContentReadable_) PrepareRender(Version);
}

void TBaseFrame::RequireValues(uint16_t Version) {
    if (!ContentReadable_)
        throw EID3LibFrameVersionMismatch("frame \"" + PrintableFrameID(FrameID()) + "\" " + CarryProblem(Version));
}

void TBaseFrame::PrepareRender(uint16_t Version) {
    RequireValues(Version);
    DropOriginal();
    // Rendered content is plain: the flags of the stored form would mislabel it.
    FrameFlags &= static_cast<TFrameFlags>(~(ffCompression | ffEncryption));
}

void TBaseFrame::DropOriginal() {
    OriginalContent.clear();
    OriginalContent.shrink_to_fit();
    HasOriginal = false;
    HasOriginalTail = false;
}

uint32_t TBaseFrame::OriginalSize() const {
    return static_cast<uint32_t>(OriginalContent.size() + (HasOriginalTail ? ContentTail().size() : 0));
}

bool TBaseFrame::WriteOriginal(TStream& Stream) const {
    return WriteBytes(Stream, OriginalContent) && (!HasOriginalTail || WriteBytes(Stream, ContentTail()));
}

void TBaseFrame::KeepOriginalPrefix(size_t PrefixSize) {
    if (!HasOriginal || ContentKeptAsStored() || PrefixSize > OriginalContent.size()) return;
    OriginalContent.resize(PrefixSize);
    OriginalContent.shrink_to_fit();
    HasOriginalTail = true;
}

bool TBaseFrame::SaveOriginal(TStream& Stream, uint16_t Version) {
    const bool Ok = WriteHeaderFor(Stream, Version, OriginalSize()) && WriteOriginal(Stream);
    Stored = true;
    Modified = false;
    return Ok;
}

bool TBaseFrame::ParseFrame(TStream& Stream, uint16_t Version) {
    if (!ReadFrameHeader(Stream, Version)) return false;
    ClearFields();
    // Compressed content is inflated only to learn its values; it is written back as stored
    // while it is unchanged.
    std::vector<uint8_t> Inflated;
    if (const auto Content = ReadContent(Stream, Inflated)) ParseFields(*Content, Version);
    Stored = true;
    Modified = false;
    return true;
}

void TBaseFrame::ParseFields(std::span<const uint8_t>, uint16_t) {}

std::vector<uint8_t> TBaseFrame::RenderFields(uint16_t) { return {}; }

uint32_t TBaseFrame::RenderedSize(uint16_t Version) {
    if (WritesOriginal(Version)) return OriginalSize();
    RequireValues(Version);
    return ContentSizeOf(RenderFields(Version), ContentTail());
}

bool TBaseFrame::RenderFrame(TStream& Stream, uint16_t Version) {
    if (WritesOriginal(Version)) return SaveOriginal(Stream, Version);
    PrepareRender(Version);
    const std::vector<uint8_t> Fields = RenderFields(Version);
    const std::span<const uint8_t> Tail = ContentTail();
    const bool Ok = WriteHeaderFor(Stream, Version, ContentSizeOf(Fields, Tail)) && WriteBytes(Stream, Fields) &&
                    WriteBytes(Stream, Tail);
    FieldsRendered(Fields, Version);
    Stored = true;
    Modified = false;
    return Ok;
}

void TBaseFrame::RefusePlaceholderID(std::string_view Placeholder) const {
    if (FrameID() != Placeholder) return;
    throw EID3LibFrameIDInvalid("Invalid frame ID \"" + std::string(Placeholder) +
                                "\" on save. You have to assign the correct frame ID prior saving!");
}

void TBaseFrame::AppendText(std::vector<uint8_t>& Out, std::u16string_view Text, bool BigEndian,
                            TTextEncoding Encoding) {
    const std::vector<uint8_t> Bytes = EncodeText(Text, BigEndian, Encoding);
    Out.insert(Out.end(), Bytes.begin(), Bytes.end());
}

void TBaseFrame::AppendLatin1(std::vector<uint8_t>& Out, std::string_view Text) {
    Out.insert(Out.end(), Text.begin(), Text.end());
    Out.push_back(0);
}

std::string PrintableFrameID(std::string_view ID) {
    static const char* const Digits = "0123456789ABCDEF";
    std::string Out;
    for (const unsigned char C : ID) {
        if (C >= 0x20 && C < 0x7F && C != '\\' && C != '"') {
            Out.push_back(static_cast<char>(C));
        } else {
            Out += "\\x";
            Out.push_back(Digits[C >> 4]);
            Out.push_back(Digits[C & 15]);
        }
    }
    return Out;
}

}  // namespace covrilo
