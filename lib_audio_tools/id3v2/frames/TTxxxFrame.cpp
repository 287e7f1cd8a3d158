// SPDX-License-Identifier: MIT
#include "id3v2/frames/TTxxxFrame.h"

#include <algorithm>

#include "id3v1/ID3GenreData.h"
#include "id3v1/ID3v1Types.h"
#include "io/TextConversion.h"

namespace covrilo {

namespace {
// More strings than this in one frame are hostile input, not values; the rest is skipped.
constexpr size_t kMaxStrings = 65536;
}  // namespace

TTxxxFrame::TTxxxFrame() { SetFrameID("Txxx"); }

uint32_t TTxxxFrame::GetDataSize(uint16_t Version) {
    if (WritesOriginal(Version)) return OriginalSize();
    RequireValues(Version);
    uint32_t Size = TEncodingFrame::GetDataSize(Version);
    const TTextEncoding Adjusted = AdjustedEncoding(Version);
    Size += EncodedTextSize(Text, Adjusted);
    for (const auto& More : MoreTexts) Size += EncodedTextSize(More, Adjusted);
    return Size;
}

bool TTxxxFrame::LoadFromStream(TStream& Stream, uint16_t Version) {
    if (!ReadFrameHeader(Stream, Version)) return false;
    Text.clear();
    MoreTexts.clear();
    std::vector<uint8_t> Inflated;
    if (const auto Content = ReadContent(Stream, Inflated)) ParseContent(*Content);
    Stored = true;
    Modified = false;
    return true;
}

void TTxxxFrame::ParseContent(std::span<const uint8_t> Content) {
    const std::span<const uint8_t> All = TakeEncodingByte(Content);
    NoteTextBytes(All);
    size_t Pos = ParseText(All, BigEndian, Text, Encoding);
    // A trailing piece shorter than one character unit is no string.
    const size_t Unit = (Encoding == teUTF16 || Encoding == teUTF16BE) ? 2 : 1;
    while (All.size() - Pos >= Unit && MoreTexts.size() < kMaxStrings) {
        bool MoreBigEndian = false;
        std::u16string More;
        Pos += ParseText(All.subspan(Pos), MoreBigEndian, More, Encoding);
        MoreTexts.push_back(std::move(More));
    }
}

bool TTxxxFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    if (FrameID() == "Txxx")
        throw EID3LibFrameIDInvalid(
            "Invalid frame ID \"Txxx\" on save. You have to assign the correct frame ID prior saving!");
    if (WritesOriginal(Version)) return SaveOriginal(Stream, Version);
    PrepareRender(Version);
    TEncodingFrame::SaveToStream(Stream, Version);
    bool Ok = WriteFrameHeader(Stream, Version);
    const uint8_t EncodingByte = EncodingToByte(Encoding);
    Ok = Ok && WriteBytes(Stream, std::span<const uint8_t>(&EncodingByte, 1));
    Ok = Ok && WriteText(Stream, Text, BigEndian, Encoding);
    for (const auto& More : MoreTexts) Ok = Ok && WriteText(Stream, More, BigEndian, Encoding);
    Modified = false;
    return Ok;
}

bool TTxxxFrame::Assign(const TBaseFrame& Source) {
    if (const auto* Other = dynamic_cast<const TTxxxFrame*>(&Source)) {
        Encoding = Other->Encoding;
        Text = Other->Text;
        MoreTexts = Other->MoreTexts;
        Modified = true;
        return true;
    }
    if (const auto* Record = dynamic_cast<const TID3v1Tag*>(&Source)) {
        const std::string ID = FrameID();
        if (ID == "TIT2") {
            SetText(AnsiToWide(Record->Title));
        } else if (ID == "TPE1") {
            SetText(AnsiToWide(Record->Artist));
        } else if (ID == "TALB") {
            SetText(AnsiToWide(Record->Album));
        } else if (ID == "TYER") {
            SetText(AnsiToWide(Record->Year));
        } else if (ID == "TRCK") {
            if (!Record->IsVersion11) return false;
            SetText(AnsiToWide(std::to_string(Record->TrackNo)));
        } else if (ID == "TCON") {
            // Genre bytes beyond the table (255 means "none") have no name.
            SetText(Record->Genre < ID3Genres.size() ? AnsiToWide(ID3Genres[Record->Genre]) : std::u16string());
        } else {
            return false;
        }
        return true;
    }
    return false;
}

void TTxxxFrame::SetText(std::u16string_view NewText) {
    if (Text == NewText) return;
    Text = NewText;
    Modified = true;
}

}  // namespace covrilo
