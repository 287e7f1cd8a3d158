// SPDX-License-Identifier: MIT
// Layouts (after the encoding byte; "text" is a string in the frame's encoding):
//   USLT  language(3) | description text | lyrics text
//   SYLT  language(3) | format(1) | type(1) | description text | { text | time(4) }...
//   USER  language(3) | text
//   GEOB  MIME (ISO-8859-1) | file name text | description text | object bytes
//   COMR  price (ISO-8859-1) | valid until(8) | URL (ISO-8859-1) | received as(1) |
//         seller text | description text | picture MIME (ISO-8859-1) | logo bytes
//   OWNE  price (ISO-8859-1) | date(8) | seller text
//   IPLS, GRP1, MVNM, MVIN  text...
#include "id3v2/frames/TEncodedFrame.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "io/TextConversion.h"

namespace covrilo {

namespace {

enum class TField : uint8_t {
    Language,     // three bytes
    Byte,         // one byte
    Date,         // eight bytes
    Time,         // four bytes
    Latin1,       // ISO-8859-1 string with its terminator
    Text,         // a string in the frame's encoding with its terminator
    LastText,     // the last string: up to the end, its terminator optional
    Texts,        // strings up to the end, the last one's terminator optional
    SyncedTexts,  // { text, time } pairs up to the end
    Rest,         // bytes up to the end
};

struct TLayout {
    const char* ID;
    std::array<TField, 8> Fields;
    size_t Count;
};

constexpr TLayout kLayouts[] = {
    {"USLT", {TField::Language, TField::Text, TField::LastText}, 3},
    {"SYLT", {TField::Language, TField::Byte, TField::Byte, TField::Text, TField::SyncedTexts}, 5},
    {"USER", {TField::Language, TField::LastText}, 2},
    {"GEOB", {TField::Latin1, TField::Text, TField::Text, TField::Rest}, 4},
    {"COMR",
     {TField::Latin1, TField::Date, TField::Latin1, TField::Byte, TField::Text, TField::Text, TField::Latin1,
      TField::Rest},
     8},
    {"OWNE", {TField::Latin1, TField::Date, TField::LastText}, 3},
    {"IPLS", {TField::Texts}, 1},
    {"GRP1", {TField::Texts}, 1},
    {"MVNM", {TField::Texts}, 1},
    {"MVIN", {TField::Texts}, 1},
};

const TLayout* FindLayout(std::string_view ID) {
    for (const TLayout& layout : kLayouts)
        if (ID == layout.ID) return &layout;
    return nullptr;
}

// Re-encodes the content's texts from From to UTF-16 (with byte-order mark) after Layout.
// Nothing when the bytes do not follow the layout: a conversion must never guess.
std::optional<std::vector<uint8_t>> Reencode(std::span<const uint8_t> In, TTextEncoding From,
                                             const TLayout& Layout) {
    const size_t unit = (From == teUTF16 || From == teUTF16BE) ? 2 : 1;
    std::vector<uint8_t> out{static_cast<uint8_t>(teUTF16)};
    size_t pos = 0;
    auto copy = [&](size_t Count) {
        if (In.size() - pos < Count) return false;
        out.insert(out.end(), In.begin() + static_cast<std::ptrdiff_t>(pos),
                   In.begin() + static_cast<std::ptrdiff_t>(pos + Count));
        pos += Count;
        return true;
    };
    // One string at pos; Required: its terminator must be there.
    auto text = [&](bool Required) {
        const std::span<const uint8_t> rest = In.subspan(pos);
        if (rest.empty()) return !Required;
        bool bigEndian = false;
        std::u16string value;
        const size_t used = TBaseFrame::ParseText(rest, bigEndian, value, From);
        // Malformed UTF-8 would come out as U+FFFD: not the same text.
        if (From == teUTF8 &&
            !IsValidUtf8(std::string_view(reinterpret_cast<const char*>(rest.data()), used)))
            return false;
        const bool terminated =
            used >= unit &&
            std::all_of(rest.begin() + static_cast<std::ptrdiff_t>(used - unit),
                        rest.begin() + static_cast<std::ptrdiff_t>(used), [](uint8_t B) { return B == 0; });
        if (Required && !terminated) return false;
        std::vector<uint8_t> encoded = TBaseFrame::EncodeText(value, true, teUTF16);
        if (!terminated) encoded.resize(encoded.size() - 2);
        out.insert(out.end(), encoded.begin(), encoded.end());
        pos += used;
        return true;
    };
    for (size_t i = 0; i < Layout.Count; ++i) {
        bool ok = true;
        switch (Layout.Fields[i]) {
            case TField::Language:
                ok = copy(3);
                break;
            case TField::Byte:
                ok = copy(1);
                break;
            case TField::Date:
                ok = copy(8);
                break;
            case TField::Time:
                ok = copy(4);
                break;
            case TField::Latin1: {
                const auto end =
                    std::find(In.begin() + static_cast<std::ptrdiff_t>(pos), In.end(), uint8_t{0});
                ok = end != In.end() && copy(static_cast<size_t>(end - In.begin()) - pos + 1);
                break;
            }
            case TField::Text:
                ok = text(true);
                break;
            case TField::LastText:
                ok = text(false) && pos == In.size();
                break;
            case TField::Texts:
                while (ok && In.size() - pos >= unit) ok = text(false);
                ok = ok && pos == In.size();
                break;
            case TField::SyncedTexts:
                while (ok && pos < In.size()) ok = text(true) && copy(4);
                break;
            case TField::Rest:
                ok = copy(In.size() - pos);
                break;
        }
        if (!ok) return std::nullopt;
    }
    if (pos != In.size()) return std::nullopt;
    return out;
}

}  // namespace

TEncodedFrame::TEncodedFrame() {
    FFrameID = {'U', 'K', 'W', 'N'};
    SupportedVersions = svID3v22 | svID3v23 | svID3v24;
}

bool TEncodedFrame::HasLayout(std::string_view ID) { return FindLayout(ID) != nullptr; }

std::vector<std::string_view> TEncodedFrame::LayoutIDs() {
    std::vector<std::string_view> ids;
    for (const TLayout& layout : kLayouts) ids.emplace_back(layout.ID);
    return ids;
}

std::optional<std::vector<uint8_t>> TEncodedFrame::ContentFor(uint16_t Version) const {
    if (OriginalFits(Version)) return originalContent_;
    const TLayout* layout = FindLayout(FrameID());
    if (layout == nullptr || !ContentReadable() || plain_.empty()) return std::nullopt;
    const TTextEncoding from = EncodingFromByte(plain_[0]);
    if (from == teUnknown) return std::nullopt;
    if (MajorVersion(Version) >= 4 || from == teISO8859_1 || from == teUTF16) return plain_;
    return Reencode(std::span<const uint8_t>(plain_).subspan(1), from, *layout);
}

uint32_t TEncodedFrame::GetDataSize(uint16_t Version) { return RenderedSize(Version); }

bool TEncodedFrame::LoadFromStream(TStream& Stream, uint16_t Version) { return ParseFrame(Stream, Version); }

bool TEncodedFrame::SaveToStream(TStream& Stream, uint16_t Version) { return RenderFrame(Stream, Version); }

void TEncodedFrame::ClearFields() { plain_.clear(); }

void TEncodedFrame::ParseFields(std::span<const uint8_t> Content, uint16_t) {
    plain_.assign(Content.begin(), Content.end());
    TakeEncodingByte(plain_);
}

std::vector<uint8_t> TEncodedFrame::RenderFields(uint16_t Version) {
    auto content = ContentFor(Version);
    if (!content)
        throw EID3LibFrameVersionMismatch("frame \"" + PrintableFrameID(FrameID()) + "\" " +
                                          CarryProblem(Version));
    return std::move(*content);
}

void TEncodedFrame::FieldsRendered(std::span<const uint8_t> Fields, uint16_t Version) {
    plain_.assign(Fields.begin(), Fields.end());
    originalContent_ = plain_;
    hasOriginal_ = true;
    LoadedVersion = Version;
    if (!plain_.empty()) originalEncoding_ = Encoding = EncodingFromByte(plain_[0]);
}

std::string TEncodedFrame::RenderProblem(uint16_t Version) {
    if (ContentFor(Version)) return {};
    return "holds texts that do not follow the layout of its kind, so they cannot be re-encoded for ID3v2." +
           std::to_string(MajorVersion(Version));
}

}  // namespace covrilo
