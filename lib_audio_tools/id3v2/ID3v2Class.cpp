// SPDX-License-Identifier: MIT
#include "id3v2/ID3v2Class.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <tuple>

#include "id3v1/ID3v1.h"
#include "id3v1/ID3v1Types.h"
#include "id3v2/ID3v2Dates.h"
#include "id3v2/ID3v2KnownFrames.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TCHAPFrame.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TCTOCFrame.h"
#include "id3v2/frames/TENCRFrame.h"
#include "id3v2/frames/TEncodedFrame.h"
#include "id3v2/frames/TGRIDFrame.h"
#include "id3v2/frames/TPRIVFrame.h"
#include "id3v2/frames/TRawFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TUnknownFrame.h"
#include "id3v2/frames/TWURLFrame.h"
#include "id3v2/frames/TWXXXFrame.h"
#include "io/ByteCursor.h"
#include "io/FileTransaction.h"
#include "io/UnicodeFileUtils.h"
#include "io/ZlibCodec.h"

namespace covrilo {

namespace {

constexpr int64_t TagHeaderSize = 10;
// Tag sizes are stored as 28-bit syncsafe numbers.
constexpr uint64_t MaxTagSize = 0x0FFFFFFF;
// More spare room than this in the old tag area makes a save rewrite the file.
constexpr int64_t MaxInPlacePadding = 4096;

__attribute__((format(printf, 1, 2))) std::string Format(const char* Pattern, ...) {
    va_list args;
    va_start(args, Pattern);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, Pattern, copy);
    va_end(copy);
    std::string result(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(result.data(), result.size() + 1, Pattern, args);
    va_end(args);
    return result;
}

bool IsID3v1(const TBaseFrame& Frame) { return dynamic_cast<const TID3v1Tag*>(&Frame) != nullptr; }

bool IsWritten(const TBaseFrame& Frame) { return !IsID3v1(Frame) && !Frame.Deleted; }

}  // namespace

TID3v2Class::TID3v2Class(const std::filesystem::path& Name) : FileName(Name) { LoadFromFile(); }

TID3v2Class::TID3v2Class(const std::filesystem::path& Name, TFileTransaction& Transaction)
    : FileName(Name), transaction_(&Transaction) {
    LoadFromFile();
}

TID3v2Class::TID3v2Class(const std::filesystem::path& Name, int Handle)
    : FileName(Name), readHandle_(Handle) {
    LoadFromFile();
    readHandle_ = -1;
}

TID3v2Class::~TID3v2Class() = default;

TBaseFrame* TID3v2Class::Frames(int Index) const {
    if (Index < 0) throw std::out_of_range(Format("List index out of bounds (%d)", Index));
    return FrameList.at(static_cast<size_t>(Index)).get();
}

int TID3v2Class::AddFrame(std::unique_ptr<TBaseFrame> Frame) {
    if (!Frame) return -1;
    Frame->RefreshNames();
    FrameList.push_back(std::move(Frame));
    return FrameCount() - 1;
}

TBaseFrame* TID3v2Class::DeleteFrame(int Index) {
    TBaseFrame* frame = Frames(Index);
    frame->Deleted = true;
    return frame;
}

bool TID3v2Class::HasFrames() const {
    for (const auto& frame : FrameList)
        if (IsWritten(*frame)) return true;
    return false;
}

bool TID3v2Class::IsValidFrameID(std::string_view ID, int LastIndex) {
    if (LastIndex < 0 || ID.size() <= static_cast<size_t>(LastIndex)) return false;
    for (int i = 0; i <= LastIndex; ++i) {
        const char c = ID[static_cast<size_t>(i)];
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

std::unique_ptr<TBaseFrame> TID3v2Class::CreateFrame(std::string_view ID) {
    const char first = ID.empty() ? '\0' : ID.front();
    const bool isWXXX = ID.size() == 4 && (ID[0] == 'W' || ID[0] == 'w') && (ID[1] == 'X' || ID[1] == 'x') &&
                        (ID[2] == 'X' || ID[2] == 'x') && (ID[3] == 'X' || ID[3] == 'x');
    std::unique_ptr<TBaseFrame> frame;
    if (first == 'T' || first == 't') {
        frame = std::make_unique<TTxxxFrame>();
        frame->SetFrameID(ID);
    } else if ((first == 'W' || first == 'w') && !isWXXX) {
        frame = std::make_unique<TWURLFrame>();
        frame->SetFrameID(ID);
    } else if (ID == "WXXX") {
        frame = std::make_unique<TWXXXFrame>();
    } else if (ID == "COMM") {
        frame = std::make_unique<TCOMMFrame>();
    } else if (ID == "APIC") {
        frame = std::make_unique<TAPICFrame>();
    } else if (ID == "PRIV") {
        frame = std::make_unique<TPRIVFrame>();
    } else if (ID == "GRID") {
        frame = std::make_unique<TGRIDFrame>();
    } else if (ID == "ENCR") {
        frame = std::make_unique<TENCRFrame>();
    } else if (ID == "CHAP") {
        frame = std::make_unique<TCHAPFrame>();
    } else if (ID == "CTOC") {
        frame = std::make_unique<TCTOCFrame>();
    } else if (TEncodedFrame::HasLayout(ID)) {
        frame = std::make_unique<TEncodedFrame>();
        frame->SetFrameID(ID);
    } else {
        frame = std::make_unique<TUnknownFrame>();
        frame->SetFrameID(ID);
    }
    return frame;
}

bool TID3v2Class::IsFrameSupported(std::string_view ID, uint16_t ForVersion) {
    const auto frame = CreateFrame(ID);
    if (!frame) return false;
    const uint8_t versions = frame->GetSupportedVersions();
    if (MajorVersion(ForVersion) == 2) return (versions & svID3v22) != 0;
    if (ForVersion >= 0x0300 && ForVersion <= 0x03FF) return (versions & svID3v23) != 0;
    if (ForVersion >= 0x0400 && ForVersion <= 0x04FF) return (versions & svID3v24) != 0;
    return true;
}

bool TID3v2Class::ReadTagHeader(TStream& Stream) {
    Stream.SetPosition(0);
    uint8_t header[TagHeaderSize];
    if (Stream.Read(header, TagHeaderSize) < TagHeaderSize) return false;

    ExtendedHeader.Clear();
    TagExists = std::memcmp(header, "ID3", 3) == 0;
    Version = 0;
    TagFlags = 0;
    TagSize = 0;
    if (!TagExists) return false;

    TagSize = DecodeSyncsafe(header + 6);
    Version = U16BEAt(header, 3);
    const uint8_t major = header[3];
    const uint8_t flags = header[5];
    if (flags & 0x80) TagFlags |= tfUnsynchronisation;
    if (major >= 3 && (flags & 0x20)) TagFlags |= tfExperimental;
    if (major >= 4 && (flags & 0x10)) TagFlags |= tfFooter;
    if (major >= 3 && (flags & 0x40)) TagFlags |= tfExtendedHeader;
    if (major == 2 && (flags & 0x40)) TagFlags |= tfCompression;

    StrayExtendedHeaderFlag = false;
    if (TagFlags & tfExtendedHeader) {
        uint8_t sizeField[4];
        const int64_t got = Stream.Read(sizeField, 4);
        if (got == 4 && IsFrameIDText(sizeField)) {
            // Some taggers set the flag without writing an extended header: a frame
            // identifier stands where its size would (no real size field reads like one).
            StrayExtendedHeaderFlag = true;
            TagFlags &= static_cast<TTagFlags>(~tfExtendedHeader);
            Stream.Seek(-got, TSeekOrigin::soCurrent);
        } else if (got == 4) {
            int64_t count = 0;
            if (major == 3)
                count = U32BEAt(sizeField, 0);
            else
                count = static_cast<int64_t>(DecodeSyncsafe(sizeField)) - 4;
            // ReadBytes never goes past the end of the file, whatever the field claims.
            if (count > 0) ExtendedHeader.Data() = Stream.ReadBytes(count);
        }
    }
    return true;
}

bool TID3v2Class::PeekFrameID(TStream& Stream, uint16_t ForVersion, std::string& ID) {
    const uint8_t major = MajorVersion(ForVersion);
    if (major == 2) {
        uint8_t head[6];
        const int64_t got = Stream.Read(head, 6);
        Stream.Seek(-got, TSeekOrigin::soCurrent);
        if (got < 6) return false;
        const std::string id22(reinterpret_cast<const char*>(head), 3);
        if (!IsValidFrameID(id22, 2)) return false;
        return ConvertID22To23(id22, ID);
    }
    if (major == 3 || major == 4) {
        uint8_t head[10];
        const int64_t got = Stream.Read(head, 10);
        Stream.Seek(-got, TSeekOrigin::soCurrent);
        if (got < 10) return false;
        ID.assign(reinterpret_cast<const char*>(head), 4);
        return true;
    }
    return false;
}

void TID3v2Class::LoadFromFile() {
    FrameList.clear();
    TagExists = false;
    TagSize = 0;
    Version = 0;
    TagFlags = 0;
    HasID3v1 = false;
    ExtendedHeader.Clear();
    FrameWalk = TFrameWalk{};
    StrayExtendedHeaderFlag = false;
    LoadedIdentity.reset();
    LoadedPaddingStart = 0;

    // Bounded reads only, no mapping: a disk that fails under the tag, or another program
    // cutting the file short while it is read, is a read error of this file (never a signal
    // that ends the process). What is read: the ID3v1 record at the end, the tag header, and
    // the tag area it announces, never more than the file holds.
    std::unique_ptr<TUnicodeFileStream> own;
    int handle = transaction_ != nullptr ? transaction_->Handle() : readHandle_;
    if (handle < 0) {
        own = std::make_unique<TUnicodeFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
        handle = own->Handle();
    }
    THandleStream file(handle);
    const TFileIdentity identity = IdentityOf(handle, FileName);
    LoadedFileSize = identity.Size;
    auto changed = [this]() {
        return EFReadError("Cannot read file " + FileName.string() + ": it changed while it was read",
                           "it changed while it was read");
    };

    auto record = std::make_unique<TID3v1Tag>();
    HasID3v1 = record->LoadFromStream(file, 0);
    if (HasID3v1) FrameList.push_back(std::move(record));

    if (ReadTagHeader(file)) {
        // Frames are read from the tag area only: a frame whose size runs past the tag must
        // never take the audio that follows into its content (a save would then write the
        // audio into the tag). The area ends TagSize bytes after the 10-byte header.
        const int64_t tagEnd = static_cast<int64_t>(TagSize) + TagHeaderSize;
        const int64_t areaEnd = std::min<int64_t>(tagEnd, LoadedFileSize);
        const int64_t start = file.Position();
        const uint8_t major = MajorVersion(Version);
        if (major >= 2 && major <= 4) {
            if (start > areaEnd) {
                FrameWalk.Complete = false;
                FrameWalk.StopOffset = TagHeaderSize;
                FrameWalk.StopReason = "starts an extended header that claims more bytes than the tag holds";
            } else {
                // Every byte is read into it: it needs no zeros first.
                const size_t length = static_cast<size_t>(areaEnd - start);
                const std::unique_ptr<uint8_t[]> buffer(new uint8_t[length]);
                if (file.Read(buffer.get(), static_cast<int64_t>(length)) != static_cast<int64_t>(length))
                    throw changed();
                const std::span<const uint8_t> area(buffer.get(), length);
                FrameWalk = WalkFrames(area, start, Version, FrameList);
                const auto last = std::find_if(area.rbegin(), area.rend(), [](uint8_t B) { return B != 0; });
                LoadedPaddingStart = start + static_cast<int64_t>(area.rend() - last);
            }
        }
    }
    // Frames read from a file that changed meanwhile (a program that does not lock it
    // writing at the same time) describe no file at all.
    if (!(IdentityOf(handle, FileName) == identity)) throw changed();
    LoadedIdentity = identity;
    Modified = false;
}

std::string TID3v2Class::LoadProblem() const {
    if (!TagExists) return {};
    const uint8_t major = MajorVersion(Version);
    if (major < 2 || major > 4)
        return "the file starts with an ID3v2." + std::to_string(major) + " tag, which cannot be read";
    // The tag area must end before the audio: a header that claims more than the file holds,
    // or bytes of the ID3v1 record at its end, cannot be trusted.
    const int64_t footer = (TagFlags & tfFooter) ? TagHeaderSize : 0;
    const int64_t tagBytes = static_cast<int64_t>(TagSize) + TagHeaderSize + footer;
    if (tagBytes > LoadedFileSize)
        return "the tag claims " + std::to_string(tagBytes) + " bytes, more than the file's " +
               std::to_string(LoadedFileSize);
    if (HasID3v1 && tagBytes > LoadedFileSize - TID3v1Tag::RecordSize)
        return "the tag reaches into the ID3v1 record at the end of the file";
    if (!FrameWalk.Complete) {
        std::string what = FrameWalk.StopID.empty() ? std::string("the tag's frames")
                                                    : "frame \"" + PrintableFrameID(FrameWalk.StopID) + "\"";
        return what + " at offset " + std::to_string(FrameWalk.StopOffset) + " " + FrameWalk.StopReason +
               ", so the frames after it cannot be read";
    }
    return {};
}

void TID3v2Class::Refuse(const std::string& Reason) const {
    throw EID3LibSaveRefused(Reason + "; the file is left unchanged");
}

namespace {

// What the loaded extended header says, as far as it can be read.
struct TExtendedHeaderInfo {
    bool Parsed = false;
    bool Crc = false;
    bool Update = false;                  // 2.4: the tag is an update of an earlier one
    std::optional<uint8_t> Restrictions;  // 2.4: tag restrictions
};

// Bytes: the extended header after its size field, as loaded from a tag of Major.
TExtendedHeaderInfo ParseExtendedHeader(const std::vector<uint8_t>& Bytes, uint8_t Major) {
    TExtendedHeaderInfo info;
    if (Major == 3) {
        // flags(2) | padding size(4) | CRC(4) when flag 0x8000
        if (Bytes.size() < 6) return info;
        info.Crc = (Bytes[0] & 0x80) != 0;
        info.Parsed = !info.Crc || Bytes.size() >= 10;
        return info;
    }
    if (Major != 4 || Bytes.size() < 2 || Bytes[0] != 1) return info;
    // number of flag bytes (1) | flags | for each flag set: length, data
    const uint8_t flags = Bytes[1];
    size_t pos = 2;
    auto take = [&](uint8_t Length) -> const uint8_t* {
        if (Bytes.size() - pos < size_t{1} + Length || Bytes[pos] != Length) return nullptr;
        const uint8_t* data = Bytes.data() + pos + 1;
        pos += size_t{1} + Length;
        return data;
    };
    if (flags & 0x40) {
        if (take(0) == nullptr) return info;
        info.Update = true;
    }
    if (flags & 0x20) {
        if (take(5) == nullptr) return info;
        info.Crc = true;
    }
    if (flags & 0x10) {
        const uint8_t* restrictions = take(1);
        if (restrictions == nullptr) return info;
        info.Restrictions = *restrictions;
    }
    info.Parsed = (flags & 0x8F) == 0;
    return info;
}

}  // namespace

std::vector<uint8_t> TID3v2Class::ExtendedHeaderFor(uint16_t ForVersion, uint32_t Size) const {
    const uint8_t major = MajorVersion(ForVersion);
    const uint8_t loaded = MajorVersion(Version);
    const std::vector<uint8_t>& bytes = ExtendedHeader.Data();
    if ((major != 3 && major != 4) || !(TagFlags & tfExtendedHeader) || bytes.empty()) return {};
    const TExtendedHeaderInfo info = ParseExtendedHeader(bytes, loaded);
    std::vector<uint8_t> out(4);
    if (!info.Parsed) {
        // An extended header that cannot be read is kept as it stands in its own version;
        // in another it would be read in the wrong layout.
        if (major != loaded) return {};
        if (major == 3)
            PutU32BE(out, 0, static_cast<uint32_t>(bytes.size()));
        else
            EncodeSyncsafe(static_cast<uint32_t>(bytes.size() + 4), out.data());
        out.insert(out.end(), bytes.begin(), bytes.end());
        return out;
    }
    const std::vector<uint8_t> none;
    const std::vector<uint8_t>& frames = renderedFrames_ != nullptr ? *renderedFrames_ : none;
    // The CRC describes the frames being saved (and, in 2.4, the padding), never the old ones.
    auto paddingAfter = [&](size_t HeaderLength) -> uint64_t {
        const uint64_t used = uint64_t{HeaderLength} + frames.size();
        return Size > used ? Size - used : 0;
    };
    // A 2.3 extended header holds only the padding size and a CRC, both of which the save
    // would have to make anew, and TagLib misreads every 2.3 tag that carries one (it takes the
    // size field in 2.4's sense): it is left out.
    if (major == 3) return {};
    // 2.4: size (syncsafe, counting itself) | 1 | flags | the data of each flag. The update
    // and restriction flags have no place in 2.3 and come from a 2.4 tag only.
    const bool update = loaded == 4 && info.Update;
    const bool restrictions = loaded == 4 && info.Restrictions.has_value();
    if (!update && !info.Crc && !restrictions) return {};
    const uint8_t flags =
        static_cast<uint8_t>((update ? 0x40 : 0) | (info.Crc ? 0x20 : 0) | (restrictions ? 0x10 : 0));
    const size_t length = 6 + (update ? 1 : 0) + (info.Crc ? 6 : 0) + (restrictions ? 2 : 0);
    EncodeSyncsafe(static_cast<uint32_t>(length), out.data());
    out.push_back(1);
    out.push_back(flags);
    if (update) out.push_back(0);
    if (info.Crc) {
        // 2.4 counts the padding into the CRC, and stores it as 35 bits in five 7-bit bytes.
        const uint32_t crc = Crc32OfZeros(paddingAfter(length), Crc32(frames));
        out.push_back(5);
        out.push_back(static_cast<uint8_t>((crc >> 28) & 0x0F));
        for (int shift = 21; shift >= 0; shift -= 7)
            out.push_back(static_cast<uint8_t>((crc >> shift) & 0x7F));
    }
    if (restrictions) {
        out.push_back(1);
        out.push_back(*info.Restrictions);
    }
    return out;
}

bool TID3v2Class::WriteTagHeader(TStream& Stream, uint32_t Size, uint16_t ForVersion) {
    const uint8_t major = MajorVersion(ForVersion);
    uint8_t flags = 0;
    ID3_ASSERT(!(TagFlags & tfUnsynchronisation), "no unsynchronisation support!");
    ID3_ASSERT(!(TagFlags & tfCompression), "no tag compression support!");
    const std::vector<uint8_t> extended = ExtendedHeaderFor(ForVersion, Size);
    if (major == 3 || major == 4) {
        if (!extended.empty()) flags |= 0x40;
        if (TagFlags & tfExperimental) flags |= 0x20;
    }
    if (major == 4) ID3_ASSERT(!(TagFlags & tfFooter), "no footer support!");

    uint8_t header[TagHeaderSize] = {'I', 'D', '3', major, static_cast<uint8_t>(ForVersion & 0xFF), flags};
    EncodeSyncsafe(Size, header + 6);
    if (Stream.Write(header, TagHeaderSize) < TagHeaderSize) return false;
    return Stream.Write(extended.data(), static_cast<int64_t>(extended.size())) ==
           static_cast<int64_t>(extended.size());
}

namespace {

// A frame that readers stop at (a raw frame without a valid identifier or header).
bool StopsReaders(const TBaseFrame& Frame) {
    const auto* raw = dynamic_cast<const TRawFrame*>(&Frame);
    return raw != nullptr && raw->StopsReaders();
}

std::string DescribeFrame(const TBaseFrame& Frame) {
    std::string out = "frame \"" + PrintableFrameID(Frame.FrameID()) + "\"";
    if (Frame.FileOffset >= 0) out += " at offset " + std::to_string(Frame.FileOffset);
    return out;
}

// A written text frame of one value whose values are known.
TTxxxFrame* DateFrame(TBaseFrame& Frame, std::string_view ID) {
    auto* text = dynamic_cast<TTxxxFrame*>(&Frame);
    if (text == nullptr || !IsWritten(Frame) || text->FrameID() != ID || !text->MoreTexts.empty() ||
        !text->ContentReadable())
        return nullptr;
    return text;
}

std::unique_ptr<TTxxxFrame> NewDateFrame(const char* ID, std::u16string Text) {
    auto frame = std::make_unique<TTxxxFrame>();
    frame->SetFrameID(ID);
    frame->Encoding = teISO8859_1;
    frame->SetText(Text);
    return frame;
}

}  // namespace

void TID3v2Class::ConvertDateFrames(uint16_t Target) {
    // Frames as read stay as they are in their own version; in another, and for the frames
    // a caller made or changed, the date frames take the target's form.
    const bool versionChanges = TagExists && MajorVersion(Version) != MajorVersion(Target);
    auto candidate = [&](TBaseFrame& Frame, std::string_view ID) -> TTxxxFrame* {
        TTxxxFrame* text = DateFrame(Frame, ID);
        if (text == nullptr || !(versionChanges || text->Modified || !text->WritesOriginal(Version)))
            return nullptr;
        return text;
    };
    auto find = [&](std::string_view ID, bool OnlyCandidates) -> TTxxxFrame* {
        for (const auto& frame : FrameList) {
            TTxxxFrame* text = OnlyCandidates ? candidate(*frame, ID) : DateFrame(*frame, ID);
            if (text != nullptr) return text;
        }
        return nullptr;
    };
    auto present = [&](std::string_view ID) {
        return std::any_of(FrameList.begin(), FrameList.end(),
                           [&](const auto& Frame) { return IsWritten(*Frame) && Frame->FrameID() == ID; });
    };
    auto retitle = [](TTxxxFrame& Frame, const char* ID, std::u16string Text) {
        Frame.SetFrameID(ID);
        Frame.SetText(Text);
        Frame.Modified = true;
    };

    if (MajorVersion(Target) == 4) {
        // TYER [+ TDAT [+ TIME]] -> TDRC.
        TTxxxFrame* year = find("TYER", true);
        if (year != nullptr && !present("TDRC")) {
            std::optional<TID3Timestamp> time = ParseTimestamp(year->Text);
            if (time && time->Month < 0) {
                if (TTxxxFrame* date = find("TDAT", true); date && ParseDDMM(date->Text)) {
                    std::tie(time->Day, time->Month) = *ParseDDMM(date->Text);
                    date->Deleted = true;
                    if (TTxxxFrame* clock = find("TIME", true); clock && ParseHHMM(clock->Text)) {
                        std::tie(time->Hour, time->Minute) = *ParseHHMM(clock->Text);
                        clock->Deleted = true;
                    }
                }
            }
            if (time) retitle(*year, "TDRC", FormatTimestamp(*time));
        }
        // The 2.3 frames that a TDRC already says are absorbed into it: those converted here,
        // or any of them when the TDRC itself is new.
        if (TTxxxFrame* recording = find("TDRC", false)) {
            const bool fresh = candidate(*recording, "TDRC") != nullptr;
            if (const auto time = ParseTimestamp(recording->Text)) {
                if (TTxxxFrame* y = find("TYER", !fresh);
                    y && IsYearText(y->Text) && ParseTimestamp(y->Text)->Year == time->Year)
                    y->Deleted = true;
                if (TTxxxFrame* d = find("TDAT", !fresh);
                    d && ParseDDMM(d->Text) == std::pair{time->Day, time->Month})
                    d->Deleted = true;
                if (TTxxxFrame* c = find("TIME", !fresh);
                    c && ParseHHMM(c->Text) == std::pair{time->Hour, time->Minute})
                    c->Deleted = true;
            }
        }
        // TORY -> TDOR.
        if (TTxxxFrame* original = find("TORY", true); original && IsYearText(original->Text)) {
            if (!present("TDOR")) {
                retitle(*original, "TDOR", original->Text);
            } else if (TTxxxFrame* tdor = find("TDOR", false)) {
                const auto time = ParseTimestamp(tdor->Text);
                if (time && time->Year == ParseTimestamp(original->Text)->Year) original->Deleted = true;
            }
        }
        return;
    }

    // TDRC (or a TYER holding a whole timestamp) -> TYER [+ TDAT [+ TIME]], where the 2.3
    // frames can hold it whole; otherwise it stays as it is.
    auto split = [&](TTxxxFrame& Frame, bool FromYear) {
        const auto time = ParseTimestamp(Frame.Text);
        if (!time) {
            // "TYER" holds four digits: a date it cannot hold (a year with more after it) keeps
            // 2.4's name, which readers of 2.3 tags read as well. Other text stays as it is.
            const std::u16string_view text = Frame.Text;
            const bool longerDate = text.size() > 4 && IsYearText(text.substr(0, 4)) &&
                                    (text[4] == u'-' || text[4] == u'T' || text[4] == u' ');
            if (FromYear && longerDate) retitle(Frame, "TDRC", Frame.Text);
            return;
        }
        const auto parts = SplitTimestamp(*time);
        if (!parts) {
            // 2.3 has no frame that holds seconds: the whole date is kept under 2.4's name.
            if (FromYear) retitle(Frame, "TDRC", Frame.Text);
            return;
        }
        const bool hasDate = !parts->Date.empty(), hasTime = !parts->Time.empty();
        if ((hasDate && present("TDAT")) || (hasTime && present("TIME"))) {
            if (FromYear) retitle(Frame, "TDRC", Frame.Text);
            return;
        }
        retitle(Frame, "TYER", parts->Year);
        auto at = std::find_if(FrameList.begin(), FrameList.end(),
                               [&](const auto& F) { return F.get() == &Frame; });
        if (hasTime) at = FrameList.insert(at + 1, NewDateFrame("TIME", parts->Time)) - 1;
        if (hasDate) FrameList.insert(at + 1, NewDateFrame("TDAT", parts->Date));
    };
    if (TTxxxFrame* year = find("TYER", true); year && !IsYearText(year->Text)) split(*year, true);
    if (TTxxxFrame* recording = find("TDRC", true); recording && !present("TYER")) split(*recording, false);
    // TDOR -> TORY when it is a year alone.
    if (TTxxxFrame* original = find("TDOR", true); original && IsYearText(original->Text) && !present("TORY"))
        retitle(*original, "TORY", original->Text);
}

void TID3v2Class::PrepareFrames(uint16_t Target) {
    const std::string problem = LoadProblem();
    // Removing the whole tag needs only to know where it ends.
    if (!problem.empty() && (!RemoveTag || FrameWalk.Complete)) Refuse(problem);
    if (RemoveTag || !HasFrames()) return;
    if (TagExists) {
        if (TagFlags & tfUnsynchronisation) Refuse("the tag is unsynchronised, which cannot be saved");
        if (TagFlags & tfCompression) Refuse("the ID3v2.2 tag is compressed, which cannot be saved");
        if ((TagFlags & tfFooter) && MajorVersion(Target) == 4)
            Refuse("the ID3v2.4 tag has a footer, which cannot be saved as ID3v2.4");
    }
    ConvertDateFrames(Target);
    // The frames read from the file must reach the new tag unchanged; frames a caller made
    // raise their own errors when they are written.
    for (const auto& frame : FrameList) {
        if (!IsWritten(*frame) || frame->FileOffset < 0) continue;
        const std::string carry = frame->CarryProblem(Target);
        if (!carry.empty()) Refuse(DescribeFrame(*frame) + " " + carry);
    }
    for (const auto& frame : FrameList)
        if (IsWritten(*frame)) frame->PrepareSave(Target);
    // Readers stop at a frame without a valid identifier or header, and TagLib at one without
    // content: such frames go last, so every other frame is still read.
    std::stable_partition(FrameList.begin(), FrameList.end(), [Target](const auto& Frame) {
        return !IsWritten(*Frame) || !(StopsReaders(*Frame) || Frame->GetDataSize(Target) == 0);
    });
}

// The frames of a save rendered, before the file is looked at.
struct TID3v2Class::TRenderedTag {
    uint16_t Target = 0;
    bool HasFrames = false;
    bool WriteTag = false;
    uint64_t Size = 0;          // what the tag takes after its header: extended header and frames
    std::vector<uint8_t> Body;  // the frames
};

TID3v2Class::TRenderedTag TID3v2Class::RenderTag(uint16_t RequestedVersion) {
    // Choose the target version: 0 keeps the loaded one, but at least 2.3.
    uint16_t word = RequestedVersion;
    if (word == 0) word = MajorVersion(Version) >= 3 ? Version : ID3V2_VERSION_2_3;
    TRenderedTag rendered;
    switch (MajorVersion(word)) {
        case 2:
            rendered.Target = ID3V2_VERSION_2_2;
            break;
        case 3:
            rendered.Target = ID3V2_VERSION_2_3;
            break;
        case 4:
            rendered.Target = ID3V2_VERSION_2_4;
            break;
        default:
            throw EID3LibFrameVersionMismatch(
                Format("Can not save ID3v2.%d.%d!", MajorVersion(word), static_cast<int>(word & 0xFF)));
    }
    const uint16_t target = rendered.Target;
    // Everything that decides the new tag's bytes happens before the file is opened: a save
    // that cannot keep what the file holds is refused while the file is still untouched.
    PrepareFrames(target);

    const uint64_t extendedHeaderBytes = ExtendedHeaderFor(target, 0).size();

    rendered.HasFrames = HasFrames();
    // Nothing to put in a tag: no ID3v2 bytes at all, not even an empty header.
    rendered.WriteTag = !RemoveTag && rendered.HasFrames;

    // Render the frames before anything touches the disk, so that a frame error can never
    // leave a half-written tag behind.
    TMemoryStream body;
    if (rendered.WriteTag) {
        for (const auto& frame : FrameList) {
            if (!IsWritten(*frame)) continue;
            if (!frame->SaveToStream(body, target))
                throw EID3LibSaveException(Format("Can not write frame \"%s\" of file %s!",
                                                  frame->FrameID().c_str(), FileName.c_str()));
        }
    }
    // A frame's size is that of what it renders, so the frames written are the tag's size.
    rendered.Size = static_cast<uint64_t>(body.Size()) + extendedHeaderBytes;
    rendered.Body = std::move(body.Data());
    return rendered;
}

bool TID3v2Class::SaveNeedsRewrite(const TSaveShape& Shape) {
    // The old footer must go, and a tag that comes or goes moves the audio: only a rewrite
    // can do either.
    if (Shape.HasFooter || Shape.TagExists != Shape.HasFrames || (Shape.TagExists && Shape.RemovesTag))
        return true;
    // A tag that no longer fits, or that would leave too much spare room.
    return Shape.NewSize > Shape.OldSize || Shape.OldSize - Shape.NewSize > MaxInPlacePadding;
}

TID3v2SavePlan TID3v2Class::LayOutTag(const TRenderedTag& Rendered, TStream& File, int64_t BlockSize) {
    const uint16_t target = Rendered.Target;
    const int64_t fileSize = File.Size();
    // A header that claims more bytes than the file holds, or bytes of the ID3v1 record at its
    // end, cannot be trusted: rewriting or overwriting that area would throw away whatever
    // really follows the frames, or write the record over the new frames.
    int64_t tagLimit = fileSize;
    if (fileSize >= TID3v1Tag::RecordSize) {
        uint8_t magic[3] = {};
        File.SetPosition(fileSize - TID3v1Tag::RecordSize);
        if (File.Read(magic, 3) == 3 && std::memcmp(magic, "TAG", 3) == 0) tagLimit -= TID3v1Tag::RecordSize;
    }
    // A 2.4 footer repeats the header after the frames; it belongs to the old tag and must go
    // with it, which only a rewrite can do (no footer is ever written).
    const int64_t footerSize = TagExists && (TagFlags & tfFooter) ? TagHeaderSize : 0;
    if (TagExists && static_cast<int64_t>(TagSize) + TagHeaderSize + footerSize > tagLimit)
        throw EID3LibSaveException(Format("Tag size exceeds the size of file %s!", FileName.c_str()));

    const int64_t oldSize = static_cast<int64_t>(TagSize);
    TID3v2SavePlan plan;
    plan.Version = target;
    plan.Rewrite = SaveNeedsRewrite({TagExists, Rendered.HasFrames, RemoveTag, footerSize > 0, oldSize,
                                     static_cast<int64_t>(Rendered.Size)});

    // The extended header's CRC is computed over these frames when the header is written.
    struct TForgetFrames {
        const std::vector<uint8_t>*& Frames;
        ~TForgetFrames() { Frames = nullptr; }
    } forgetFrames{renderedFrames_};
    renderedFrames_ = &Rendered.Body;

    // The tag as Size says (the bytes after its header), padded with zeros.
    auto render = [&](uint64_t Size) {
        TMemoryStream tag;
        if (Size > MaxTagSize)
            throw EID3LibSaveException(Format("Tag too large to save in file %s!", FileName.c_str()));
        if (!WriteTagHeader(tag, static_cast<uint32_t>(Size), target))
            throw EID3LibSaveException(Format("Can not write to file %s!", FileName.c_str()));
        tag.Write(Rendered.Body.data(), static_cast<int64_t>(Rendered.Body.size()));
        const int64_t padding = static_cast<int64_t>(Size) + TagHeaderSize - tag.Size();
        if (padding > 0) tag.SetSize(tag.Size() + padding);
        return std::move(tag.Data());
    };
    const int64_t estimated = static_cast<int64_t>(Rendered.Size);
    std::vector<uint8_t> tagBytes;
    if (Rendered.WriteTag) {
        const uint64_t newSize = plan.Rewrite ? (Rendered.Size / 256 + 1) * 256 : TagSize;
        tagBytes = render(newSize);
        plan.TagSize = static_cast<uint32_t>(newSize);
    }

    // Where the file system can insert or take out whole blocks, a tag that grows past its
    // area or leaves too much padding is written in place around such a shift instead of
    // copying the audio into a new file: the area grows by the fewest blocks that hold the
    // frames and at least one byte of padding (so 1 byte to one block of padding), or shrinks
    // by every whole block between the frames and the audio (leaving less than two blocks).
    // The blocks inserted or taken out lie where the old tag (or the new one) has only
    // padding, so the frames and the audio never move within their blocks.
    const int64_t area = oldSize + TagHeaderSize;
    uint64_t shiftedSize = 0;
    if (plan.Rewrite && Rendered.WriteTag && TagExists && footerSize == 0 && area < fileSize &&
        BlockSize > 0) {
        const int64_t block = BlockSize;
        auto up = [block](int64_t Value) { return (Value + block - 1) / block * block; };
        const int64_t used = TagHeaderSize + estimated;  // header, extended header, frames
        if (oldSize < estimated) {
            const int64_t at = std::max(up(LoadedPaddingStart), block);
            const int64_t grow = up(used + 1 - area);
            if (LoadedPaddingStart > 0 && at <= area) {
                plan.Shift = TBlockShift{at, grow};
                shiftedSize = static_cast<uint64_t>(area + grow - TagHeaderSize);
            }
        } else if (oldSize - estimated > MaxInPlacePadding) {
            const int64_t at = std::max(up(used), block);
            const int64_t cut = (area - at) / block * block;
            if (cut > 0) {
                plan.Shift = TBlockShift{at, -cut};
                shiftedSize = static_cast<uint64_t>(area - cut - TagHeaderSize);
            }
        }
        if (shiftedSize > MaxTagSize) plan.Shift.reset();
    }

    TID3v1Tag* record = nullptr;
    for (const auto& frame : FrameList)
        if ((record = dynamic_cast<TID3v1Tag*>(frame.get())) != nullptr) break;

    // The whole save as edits of the old file: the tag area, and the end of the file.
    const int64_t audioStart = TagExists ? oldSize + TagHeaderSize + footerSize : 0;
    std::vector<TSplice>& edits = plan.Edits;
    if (Rendered.WriteTag || audioStart > 0) edits.push_back({0, audioStart, std::move(tagBytes)});
    if (NewTail) {
        const int64_t tailStart = TID3v1::AudioEnd(File);
        if (tailStart < audioStart)
            throw EID3LibSaveRefused(
                Format("The ID3v1 data of file %s overlaps its ID3v2 tag!", FileName.c_str()));
        edits.push_back({tailStart, fileSize - tailStart, *NewTail});
    } else if (record != nullptr) {
        uint8_t magic[3] = {};
        const bool hasRecord =
            fileSize - audioStart >= TID3v1Tag::RecordSize &&
            (File.SetPosition(fileSize - TID3v1Tag::RecordSize), File.Read(magic, 3) == 3) &&
            std::memcmp(magic, "TAG", 3) == 0;
        if (record->Deleted) {
            if (hasRecord) edits.push_back({fileSize - TID3v1Tag::RecordSize, TID3v1Tag::RecordSize, {}});
        } else if (record->Modified || !hasRecord) {
            // An unchanged record keeps its bytes; a changed one is written over the old one.
            TMemoryStream bytes;
            if (!record->SaveToStream(bytes, 0))
                throw EID3LibSaveException(Format("Can not write to file %s!", FileName.c_str()));
            edits.push_back(
                hasRecord ? TSplice{fileSize - TID3v1Tag::RecordSize, TID3v1Tag::RecordSize, bytes.Data()}
                          : TSplice{fileSize, 0, bytes.Data()});
        }
    }
    if (plan.Shift) {
        plan.ShiftedEdits = edits;
        plan.ShiftedEdits.front().Bytes = render(shiftedSize);
        plan.ShiftedTagSize = static_cast<uint32_t>(shiftedSize);
    }
    return plan;
}

TID3v2SavePlan TID3v2Class::PlanSave(uint16_t RequestedVersion, TStream& File, int64_t BlockSize) {
    return LayOutTag(RenderTag(RequestedVersion), File, BlockSize);
}

bool TID3v2Class::SaveToFile(uint16_t RequestedVersion) {
    // From here to the commit the file stays locked: by the transaction the load came from,
    // or by one of our own, which first checks that the file is still the one loaded.
    TFileTransaction* transaction = transaction_;
    std::unique_ptr<TFileTransaction> ownTransaction;
    if (transaction == nullptr || transaction->Committed()) {
        ownTransaction = std::make_unique<TFileTransaction>(FileName);
        transaction = ownTransaction.get();
        if (LoadedIdentity) transaction->Expect(*LoadedIdentity);
    }
    const TID3v2SavePlan plan =
        LayOutTag(RenderTag(RequestedVersion), transaction->Stream(), transaction->ShiftBlockSize());
    uint32_t savedSize = plan.TagSize;
    bool rewritten = plan.Rewrite;
    if (plan.Shift) {
        transaction->CommitShifted(plan.ShiftedEdits, *plan.Shift, plan.Edits, TempExtension);
        if (!transaction->Rewrote()) {
            savedSize = plan.ShiftedTagSize;
            rewritten = false;
        }
    } else if (plan.Rewrite) {
        transaction->CommitRewrite(plan.Edits, TempExtension);
    } else {
        transaction->CommitInPlace(plan.Edits);
    }
    LoadedIdentity = transaction->Identity();
    Rewritten = rewritten;
    transaction_ = nullptr;
    if (NewTail) {
        // The list's record is now the one the new tail ends with.
        for (size_t i = FrameList.size(); i-- > 0;)
            if (IsID3v1(*FrameList[i])) FrameList.erase(FrameList.begin() + static_cast<std::ptrdiff_t>(i));
        auto fresh = std::make_unique<TID3v1Tag>();
        TMemoryStream tail(*NewTail);
        if (fresh->LoadFromStream(tail, 0)) FrameList.insert(FrameList.begin(), std::move(fresh));
        NewTail.reset();
    }

    // Deleted entries (and with RemoveTag every ID3v2 frame) leave the list.
    for (size_t i = FrameList.size(); i-- > 0;) {
        TBaseFrame& frame = *FrameList[i];
        if (frame.Deleted || (RemoveTag && !IsID3v1(frame)))
            FrameList.erase(FrameList.begin() + static_cast<std::ptrdiff_t>(i));
    }
    HasID3v1 = false;
    for (const auto& frame : FrameList)
        if (IsID3v1(*frame)) HasID3v1 = true;

    TagSize = savedSize;
    TagExists = HasFrames();
    Version = plan.Version;
    Modified = false;
    return true;
}

}  // namespace covrilo
