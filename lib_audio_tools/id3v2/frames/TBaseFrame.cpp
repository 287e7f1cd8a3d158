// SPDX-License-Identifier: MIT
// Frame headers:
//   2.2: id(3) size(3, big-endian)
//   2.3: id(4) size(4, big-endian) flags(2) [decompressed size(4)] [method(1)] [group(1)]
//   2.4: id(4) size(4, syncsafe)   flags(2) [group(1)] [method(1)] [data length(4, syncsafe)]
// The size counts the bracketed extra bytes and the content. Strings end in a zero byte
// (ISO-8859-1, UTF-8) or a zero unit (UTF-16 with byte-order mark, UTF-16BE without).
#include "id3v2/frames/TBaseFrame.h"

#include <algorithm>
#include <vector>

#include "id3v2/ID3v2KnownFrames.h"
#include "io/ByteCursor.h"
#include "io/TextConversion.h"
#include "io/ZlibCodec.h"

namespace covrilo {

namespace {

void PutSyncsafe(std::vector<uint8_t>& Out, uint32_t Value) {
    uint8_t bytes[4];
    EncodeSyncsafe(Value, bytes);
    Out.insert(Out.end(), bytes, bytes + 4);
}

bool IsTwoByte(TTextEncoding Encoding) { return Encoding == teUTF16 || Encoding == teUTF16BE; }

// Flag bits of the two header flag bytes, per version: {internal flag, byte index 0/1, mask}.
struct TFlagBit {
    TFrameFlags Flag;
    int Byte;
    uint8_t Mask;
};
constexpr TFlagBit kFlags23[] = {
    {ffTagAlterPreservation, 0, 0x80},
    {ffFileAlterPreservation, 0, 0x40},
    {ffReadOnly, 0, 0x20},
    {ffCompression, 1, 0x80},
    {ffEncryption, 1, 0x40},
    {ffGroupingIdentity, 1, 0x20},
};
constexpr TFlagBit kFlags24[] = {
    {ffTagAlterPreservation, 0, 0x40},
    {ffFileAlterPreservation, 0, 0x20},
    {ffReadOnly, 0, 0x10},
    {ffCompression, 1, 0x08},
    {ffEncryption, 1, 0x04},
    {ffGroupingIdentity, 1, 0x40},
    {ffUnsynchronisation, 1, 0x02},
    {ffDataLengthIndicator, 1, 0x01},
};

template <size_t N>
TFrameFlags DecodeFlags(const TFlagBit (&Table)[N], uint8_t Byte0, uint8_t Byte1) {
    TFrameFlags flags = 0;
    for (const auto& bit : Table) {
        const uint8_t value = bit.Byte == 0 ? Byte0 : Byte1;
        if (value & bit.Mask) flags |= bit.Flag;
    }
    return flags;
}

template <size_t N>
void EncodeFlags(const TFlagBit (&Table)[N], TFrameFlags Flags, uint8_t& Byte0, uint8_t& Byte1) {
    Byte0 = Byte1 = 0;
    for (const auto& bit : Table) {
        if (Flags & bit.Flag) (bit.Byte == 0 ? Byte0 : Byte1) |= bit.Mask;
    }
}

// Position just past the first terminator of Encoding in In (aligned to units for the
// two-byte encodings), or npos when In holds none.
size_t FindTerminatorEnd(std::span<const uint8_t> In, TTextEncoding Encoding) {
    if (IsTwoByte(Encoding)) {
        for (size_t i = 0; In.size() - i >= 2; i += 2) {
            if (In[i] == 0 && In[i + 1] == 0) return i + 2;
        }
        return std::string::npos;
    }
    const auto it = std::find(In.begin(), In.end(), uint8_t{0});
    return it == In.end() ? std::string::npos : static_cast<size_t>(it - In.begin()) + 1;
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
    const uint32_t bigEndianSize = U32BEAt(field, 0);
    const uint32_t littleEndianSize = U32LEAt(field, 0);
    return (littleEndianSize < 65535 && bigEndianSize > 16777215) ? littleEndianSize : bigEndianSize;
}

uint32_t TBaseFrame::GetHeaderSize(uint16_t Version) {
    const uint8_t major = MajorVersion(Version);
    if (major == 2) return 6;
    if (major == 3) {
        uint32_t size = 10;
        if (FrameFlags & ffCompression) size += 4;
        if (FrameFlags & ffEncryption) size += 1;
        if (FrameFlags & ffGroupingIdentity) size += 1;
        return size;
    }
    if (major == 4) {
        // A compressed 2.4 frame must carry the data length indicator.
        if (FrameFlags & ffCompression) FrameFlags |= ffDataLengthIndicator;
        uint32_t size = 10;
        if (FrameFlags & ffGroupingIdentity) size += 1;
        if (FrameFlags & ffEncryption) size += 1;
        if (FrameFlags & ffDataLengthIndicator) size += 4;
        return size;
    }
    return 0;
}

bool TBaseFrame::ReadFrameHeader(TStream& Stream, uint16_t Version) {
    const uint8_t major = MajorVersion(Version);
    uint8_t header[10];
    if (major == 2) {
        if (Stream.Read(header, 6) != 6) return false;
        const std::string id22(reinterpret_cast<const char*>(header), 3);
        std::string id;
        if (!ConvertID22To23(id22, id) || id.size() < 4)
            throw EID3LibLoadException("unknown ID3v2.2.x frame id \"" + id22 + "\"");
        std::copy_n(id.begin(), 4, FFrameID.begin());
        FrameSize = U24BEAt(header, 3);
    } else if (major == 3 || major == 4) {
        if (Stream.Read(header, 10) != 10) return false;
        std::copy_n(reinterpret_cast<const char*>(header), 4, FFrameID.begin());
        FrameSize = DecodeFrameSize(header + 4, major);
    } else {
        return false;
    }

    RefreshNames();
    DataSize = FrameSize;
    FrameFlags = 0;
    LoadedVersion = Version;

    // Each extra header byte belongs to the frame: a size too small to hold them is a header
    // that cannot be read, never an invitation to read the next frame's bytes.
    auto takeExtra = [this, &Stream](uint8_t* Buffer, uint32_t Count) {
        if (DataSize < Count) return false;
        if (Stream.Read(Buffer, Count) != static_cast<int64_t>(Count)) return false;
        DataSize -= Count;
        return true;
    };

    uint8_t extra[4];
    if (major == 3) {
        FrameFlags = DecodeFlags(kFlags23, header[8], header[9]);
        if (FrameFlags & ffCompression) {
            if (!takeExtra(extra, 4)) return false;
            DataLength = U32BEAt(extra, 0);
        }
        if (FrameFlags & ffEncryption) {
            if (!takeExtra(&EncryptionMethod, 1)) return false;
        }
        if (FrameFlags & ffGroupingIdentity) {
            if (!takeExtra(&GroupSymbol, 1)) return false;
        }
    } else if (major == 4) {
        FrameFlags = DecodeFlags(kFlags24, header[8], header[9]);
        if (FrameFlags & ffGroupingIdentity) {
            if (!takeExtra(&GroupSymbol, 1)) return false;
        }
        if (FrameFlags & ffEncryption) {
            if (!takeExtra(&EncryptionMethod, 1)) return false;
        }
        if (FrameFlags & ffDataLengthIndicator) {
            if (!takeExtra(extra, 4)) return false;
            DataLength = DecodeSyncsafe(extra);
        }
        if ((FrameFlags & ffCompression) && !(FrameFlags & ffDataLengthIndicator))
            throw EID3LibLoadException(
                "invalid frame header: compression used without data length indicator!");
    }
    return true;
}

bool TBaseFrame::WriteFrameHeader(TStream& Stream, uint16_t Version) {
    const uint8_t major = MajorVersion(Version);
    if (major < 2 || major > 4) return false;
    return WriteHeaderFor(Stream, Version, GetDataSize(Version));
}

bool TBaseFrame::WriteHeaderFor(TStream& Stream, uint16_t Version, uint32_t ContentSize) {
    const uint8_t major = MajorVersion(Version);
    if (major < 2 || major > 4) return false;

    DataSize = ContentSize;
    // Content kept as stored (compressed, encrypted) still has the length it had when
    // decoded; only plain content is described by its own size.
    if (!(ContentKeptAsStored() && Stored)) DataLength = DataSize;

    const std::string id = FrameID();
    std::vector<uint8_t> out;
    out.reserve(20);
    if (major == 2) {
        FrameSize = DataSize;
        std::string id22;
        if (!ConvertID23To22(id, id22) || id22.size() != 3)
            throw EID3LibFrameVersionMismatch("there is no equivalent frame id for \"" + id +
                                              "\" in ID3v2.2.x");
        if (DataSize > 0xFFFFFF)
            throw EID3LibFrameVersionMismatch("frame \"" + id + "\" is too large for ID3v2.2.x");
        out.insert(out.end(), id22.begin(), id22.end());
        out.push_back(static_cast<uint8_t>(DataSize >> 16));
        out.push_back(static_cast<uint8_t>(DataSize >> 8));
        out.push_back(static_cast<uint8_t>(DataSize));
    } else {
        const uint32_t headerSize = GetHeaderSize(Version);
        const uint64_t total = uint64_t{headerSize} + DataSize - 10;
        // A 2.4 size is 28 bits wide; a larger frame would be written with a wrong size.
        if (total > (major == 3 ? 0xFFFFFFFFull : 0x0FFFFFFFull))
            throw EID3LibFrameVersionMismatch("frame \"" + id + "\" is too large for ID3v2." +
                                              std::to_string(major) + ".x");
        FrameSize = static_cast<uint32_t>(total);
        for (size_t i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(FFrameID[i]));
        uint8_t flag0 = 0, flag1 = 0;
        if (major == 3) {
            AppendU32BE(out, FrameSize);
            EncodeFlags(kFlags23, FrameFlags, flag0, flag1);
            out.push_back(flag0);
            out.push_back(flag1);
            if (FrameFlags & ffCompression) AppendU32BE(out, DataLength);
            if (FrameFlags & ffEncryption) out.push_back(EncryptionMethod);
            if (FrameFlags & ffGroupingIdentity) out.push_back(GroupSymbol);
        } else {
            PutSyncsafe(out, FrameSize);
            EncodeFlags(kFlags24, FrameFlags, flag0, flag1);
            out.push_back(flag0);
            out.push_back(flag1);
            if (FrameFlags & ffGroupingIdentity) out.push_back(GroupSymbol);
            if (FrameFlags & ffEncryption) out.push_back(EncryptionMethod);
            if (FrameFlags & ffDataLengthIndicator) PutSyncsafe(out, DataLength);
        }
    }
    return WriteBytes(Stream, out);
}

void TBaseFrame::RefreshNames() {
    if (const TKnownFrame* row = FindKnownFrame(FrameID())) {
        FrameName = row->Name;
        FrameDescription = row->Description;
        SupportedVersions = row->Versions;
    }
}

bool TBaseFrame::Assign(const TBaseFrame&) { return false; }

std::string TBaseFrame::FrameID() const {
    std::string id;
    for (char c : FFrameID) {
        if (c == '\0') break;
        id.push_back(c);
    }
    return id;
}

void TBaseFrame::SetFrameID(std::string_view ID) {
    if (ID.size() < 4) return;
    std::copy_n(ID.begin(), 4, FFrameID.begin());
    RefreshNames();
}

uint32_t TBaseFrame::EncodedTextSize(std::u16string_view Text, TTextEncoding Encoding) {
    const auto l = static_cast<uint32_t>(Text.size());
    switch (Encoding) {
        case teISO8859_1:
            return l + 1;
        case teUTF8:
            return static_cast<uint32_t>(Utf8Length(Text)) + 1;
        case teUTF16:
            return 2 * (l + 1) + 2;
        case teUTF16BE:
            return 2 * (l + 1);
        default:
            return l;
    }
}

size_t TBaseFrame::ParseText(std::span<const uint8_t> In, bool& BigEndian, std::u16string& Text,
                             TTextEncoding Encoding) {
    Text.clear();
    BigEndian = false;
    const size_t termEnd = FindTerminatorEnd(In, Encoding);
    const size_t consumed = termEnd == std::string::npos ? In.size() : termEnd;
    if (IsTwoByte(Encoding)) {
        const size_t textEnd = termEnd == std::string::npos ? (consumed & ~size_t{1}) : termEnd - 2;
        size_t pos = 0;
        bool big = Encoding == teUTF16BE;
        if (Encoding == teUTF16 && textEnd >= 2) {
            if (In[0] == 0xFF && In[1] == 0xFE) {
                pos = 2;
            } else if (In[0] == 0xFE && In[1] == 0xFF) {
                pos = 2;
                big = BigEndian = true;
            }
        }
        Text.reserve((textEnd - pos) / 2);
        for (; pos < textEnd; pos += 2) {
            const uint16_t hi = big ? In[pos] : In[pos + 1];
            const uint16_t lo = big ? In[pos + 1] : In[pos];
            Text.push_back(static_cast<char16_t>((hi << 8) | lo));
        }
    } else {
        const size_t textEnd = termEnd == std::string::npos ? consumed : termEnd - 1;
        const std::string_view bytes(reinterpret_cast<const char*>(In.data()), textEnd);
        if (Encoding == teUTF8) {
            Text = Utf8ToWide(bytes);
        } else {
            Text.reserve(textEnd);
            for (unsigned char c : bytes) Text.push_back(static_cast<char16_t>(c));
        }
    }
    return consumed;
}

int64_t TBaseFrame::ReadText(TStream& Stream, int64_t MaxBytes, bool& BigEndian, std::u16string& Text,
                             TTextEncoding Encoding) {
    Text.clear();
    BigEndian = false;
    if (MaxBytes <= 0) return 0;
    const int64_t limit = IsTwoByte(Encoding) ? (MaxBytes & ~int64_t{1}) : MaxBytes;
    if (limit <= 0) return 0;

    // Read in growing chunks (never more than the stream holds or the limit allows) until
    // the terminator turns up, then give back what was read beyond it.
    std::vector<uint8_t> buffer;
    int64_t chunk = 64;
    size_t consumed = std::string::npos;
    while (static_cast<int64_t>(buffer.size()) < limit) {
        const int64_t want = std::min(chunk, limit - static_cast<int64_t>(buffer.size()));
        const size_t old = buffer.size();
        buffer.resize(old + static_cast<size_t>(want));
        const int64_t got = std::max<int64_t>(0, Stream.Read(buffer.data() + old, want));
        buffer.resize(old + static_cast<size_t>(got));
        // Rescan from a unit boundary at or before the old end.
        const size_t from = IsTwoByte(Encoding) ? (old & ~size_t{1}) : old;
        const size_t found = FindTerminatorEnd(std::span<const uint8_t>(buffer).subspan(from), Encoding);
        if (found != std::string::npos) {
            consumed = from + found;
            break;
        }
        if (got < want) break;
        chunk = std::min<int64_t>(chunk * 2, int64_t{1} << 20);
    }
    if (consumed == std::string::npos) consumed = buffer.size();
    if (buffer.size() > consumed)
        Stream.Seek(-static_cast<int64_t>(buffer.size() - consumed), TSeekOrigin::soCurrent);
    ParseText(std::span<const uint8_t>(buffer.data(), consumed), BigEndian, Text, Encoding);
    return static_cast<int64_t>(consumed);
}

std::vector<uint8_t> TBaseFrame::EncodeText(std::u16string_view Text, bool BigEndian,
                                            TTextEncoding Encoding) {
    std::vector<uint8_t> out;
    auto putUnit = [&out](char16_t Unit, bool Big) {
        const auto hi = static_cast<uint8_t>(Unit >> 8), lo = static_cast<uint8_t>(Unit & 0xFF);
        out.push_back(Big ? hi : lo);
        out.push_back(Big ? lo : hi);
    };
    switch (Encoding) {
        case teISO8859_1:
            out.reserve(Text.size() + 1);
            // One byte per unit, so the size stays what EncodedTextSize promised.
            for (char16_t c : Text) out.push_back(c <= 0xFF ? static_cast<uint8_t>(c) : uint8_t{'?'});
            out.push_back(0);
            break;
        case teUTF16:
            out.reserve(2 * Text.size() + 4);
            putUnit(0xFEFF, BigEndian);
            for (char16_t c : Text) putUnit(c, BigEndian);
            putUnit(0, true);
            break;
        case teUTF16BE:
            out.reserve(2 * Text.size() + 2);
            for (char16_t c : Text) putUnit(c, true);
            putUnit(0, true);
            break;
        case teUTF8: {
            const std::string utf8 = WideToUtf8(Text);
            out.assign(utf8.begin(), utf8.end());
            out.push_back(0);
            break;
        }
        default:
            break;
    }
    return out;
}

bool TBaseFrame::WriteText(TStream& Stream, std::u16string_view Text, bool BigEndian,
                           TTextEncoding Encoding) {
    return WriteBytes(Stream, EncodeText(Text, BigEndian, Encoding));
}

int64_t TBaseFrame::ReadLatin1(TStream& Stream, int64_t MaxBytes, std::string& Text) {
    std::u16string wide;
    bool bigEndian = false;
    const int64_t consumed = ReadText(Stream, MaxBytes, bigEndian, wide, teISO8859_1);
    Text.assign(wide.size(), '\0');
    for (size_t i = 0; i < wide.size(); ++i) Text[i] = static_cast<char>(wide[i]);
    return consumed;
}

bool TBaseFrame::WriteLatin1(TStream& Stream, std::string_view Text) {
    std::vector<uint8_t> out;
    AppendLatin1(out, Text);
    return WriteBytes(Stream, out);
}

bool TBaseFrame::WriteBytes(TStream& Stream, std::span<const uint8_t> Bytes) {
    if (Bytes.empty()) return true;
    return Stream.Write(Bytes.data(), static_cast<int64_t>(Bytes.size())) ==
           static_cast<int64_t>(Bytes.size());
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

std::optional<std::span<const uint8_t>> TBaseFrame::ReadContent(TStream& Stream,
                                                                std::vector<uint8_t>& Inflated, bool Parse) {
    originalContent_ = Stream.ReadBytes(std::min<int64_t>(DataSize, Stream.Remaining()));
    hasOriginal_ = true;
    hasOriginalTail_ = false;
    contentReadable_ = true;
    // Unsynchronisation is a transport form: undone here, the content is kept and written plain.
    if (FrameFlags & ffUnsynchronisation) {
        std::vector<uint8_t> plain;
        plain.reserve(originalContent_.size());
        for (size_t i = 0; i < originalContent_.size(); ++i) {
            plain.push_back(originalContent_[i]);
            if (originalContent_[i] == 0xFF && originalContent_.size() - i > 1 &&
                originalContent_[i + 1] == 0x00)
                ++i;
        }
        originalContent_ = std::move(plain);
        FrameFlags &= static_cast<TFrameFlags>(~ffUnsynchronisation);
    }
    DataSize = static_cast<uint32_t>(originalContent_.size());
    if (!Parse) return std::nullopt;
    if (FrameFlags & ffEncryption) {
        contentReadable_ = false;
        return std::nullopt;
    }
    if (FrameFlags & ffCompression) {
        if (!InflateZlib(originalContent_, DataLength, Inflated)) {
            contentReadable_ = false;
            return std::nullopt;
        }
        return std::span<const uint8_t>(Inflated);
    }
    return std::span<const uint8_t>(originalContent_);
}

bool TBaseFrame::WritesOriginal(uint16_t Version) const {
    return hasOriginal_ && !Modified && OriginalFits(Version);
}

bool TBaseFrame::OriginalFits(uint16_t Version) const {
    if (!hasOriginal_) return false;
    const uint8_t from = MajorVersion(LoadedVersion), to = MajorVersion(Version);
    if (from == to) return true;
    if (to < 2 || to > 4) return false;
    // 2.2 frames have no flags to mark compressed, encrypted or grouped content.
    if (to == 2 && (FrameFlags & (ffCompression | ffEncryption | ffGroupingIdentity))) return false;
    return LayoutFits(from, to);
}

bool TBaseFrame::LayoutFits(uint8_t, uint8_t) const { return true; }

std::string TBaseFrame::RenderProblem(uint16_t) { return {}; }

std::string TBaseFrame::CarryProblem(uint16_t Version) {
    const uint8_t to = MajorVersion(Version);
    std::string id22;
    if (to == 2 && (!ConvertID23To22(FrameID(), id22) || id22.size() != 3))
        return "has no ID3v2.2 identifier";
    // The 2.2 forms of these hold other fields (a three-letter frame identifier in "LNK", a
    // description in place of the method symbol in "CRM"): their content means another thing.
    const std::string id = FrameID();
    const bool from22 = LoadedVersion != 0 && MajorVersion(LoadedVersion) == 2;
    if ((id == "LINK" || id == "ENCR") && LoadedVersion != 0 && from22 != (to == 2))
        return "is laid out differently in ID3v2.2, so it cannot be converted";
    if (WritesOriginal(Version)) return {};
    if (!contentReadable_) {
        return std::string(FrameFlags & ffEncryption ? "is encrypted"
                                                     : "holds compressed data that cannot be inflated") +
               ", so it cannot be converted to ID3v2." + std::to_string(to);
    }
    return RenderProblem(Version);
}

void TBaseFrame::PrepareSave(uint16_t Version) {
    if (hasOriginal_ && !WritesOriginal(Version) && contentReadable_) PrepareRender(Version);
}

void TBaseFrame::RequireValues(uint16_t Version) {
    if (!contentReadable_)
        throw EID3LibFrameVersionMismatch("frame \"" + PrintableFrameID(FrameID()) + "\" " +
                                          CarryProblem(Version));
}

void TBaseFrame::PrepareRender(uint16_t Version) {
    RequireValues(Version);
    DropOriginal();
    // Rendered content is plain: the flags of the stored form would mislabel it.
    FrameFlags &= static_cast<TFrameFlags>(~(ffCompression | ffEncryption));
}

void TBaseFrame::DropOriginal() {
    originalContent_.clear();
    originalContent_.shrink_to_fit();
    hasOriginal_ = false;
    hasOriginalTail_ = false;
}

uint32_t TBaseFrame::OriginalSize() const {
    return static_cast<uint32_t>(originalContent_.size() + (hasOriginalTail_ ? ContentTail().size() : 0));
}

bool TBaseFrame::WriteOriginal(TStream& Stream) const {
    return WriteBytes(Stream, originalContent_) && (!hasOriginalTail_ || WriteBytes(Stream, ContentTail()));
}

void TBaseFrame::KeepOriginalPrefix(size_t PrefixSize) {
    if (!hasOriginal_ || ContentKeptAsStored() || PrefixSize > originalContent_.size()) return;
    originalContent_.resize(PrefixSize);
    originalContent_.shrink_to_fit();
    hasOriginalTail_ = true;
}

bool TBaseFrame::SaveOriginal(TStream& Stream, uint16_t Version) {
    const bool ok = WriteHeaderFor(Stream, Version, OriginalSize()) && WriteOriginal(Stream);
    Stored = true;
    Modified = false;
    return ok;
}

bool TBaseFrame::ParseFrame(TStream& Stream, uint16_t Version) {
    if (!ReadFrameHeader(Stream, Version)) return false;
    ClearFields();
    // Compressed content is inflated only to learn its values; it is written back as stored
    // while it is unchanged.
    std::vector<uint8_t> inflated;
    if (const auto content = ReadContent(Stream, inflated)) ParseFields(*content, Version);
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
    const std::vector<uint8_t> fields = RenderFields(Version);
    const std::span<const uint8_t> tail = ContentTail();
    const bool ok = WriteHeaderFor(Stream, Version, ContentSizeOf(fields, tail)) &&
                    WriteBytes(Stream, fields) && WriteBytes(Stream, tail);
    FieldsRendered(fields, Version);
    Stored = true;
    Modified = false;
    return ok;
}

void TBaseFrame::RefusePlaceholderID(std::string_view Placeholder) const {
    if (FrameID() != Placeholder) return;
    throw EID3LibFrameIDInvalid("Invalid frame ID \"" + std::string(Placeholder) +
                                "\" on save. You have to assign the correct frame ID prior saving!");
}

void TBaseFrame::AppendText(std::vector<uint8_t>& Out, std::u16string_view Text, bool BigEndian,
                            TTextEncoding Encoding) {
    const std::vector<uint8_t> bytes = EncodeText(Text, BigEndian, Encoding);
    Out.insert(Out.end(), bytes.begin(), bytes.end());
}

void TBaseFrame::AppendLatin1(std::vector<uint8_t>& Out, std::string_view Text) {
    Out.insert(Out.end(), Text.begin(), Text.end());
    Out.push_back(0);
}

std::string PrintableFrameID(std::string_view ID) {
    static const char* const digits = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : ID) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out.push_back(static_cast<char>(c));
        } else {
            out += "\\x";
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
        }
    }
    return out;
}

}  // namespace covrilo
