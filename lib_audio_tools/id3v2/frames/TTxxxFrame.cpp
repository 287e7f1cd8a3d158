// SPDX-License-Identifier: MIT
#include "id3v2/frames/TTxxxFrame.h"

#include <algorithm>

namespace covrilo {

namespace {
// More strings than this in one frame are hostile input, not values; the rest is skipped.
constexpr size_t kMaxStrings = 65536;
}  // namespace

TTxxxFrame::TTxxxFrame() { SetFrameID("Txxx"); }

uint32_t TTxxxFrame::GetDataSize(uint16_t Version) {
    if (ContentKeptAsStored()) return static_cast<uint32_t>(StoredContent.size());
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
    StoredContent.clear();
    if (ContentKeptAsStored()) return LoadStoredContent(Stream);

    int64_t Rest = DataSize;
    uint8_t EncodingByte = 0;
    if (Rest > 0 && ReadByte(Stream, EncodingByte)) {
        Encoding = EncodingFromByte(EncodingByte);
        --Rest;
    } else {
        Encoding = teISO8859_1;  // a frame without content has no encoding byte to read
        Rest = 0;
    }

    const std::vector<uint8_t> Content = Stream.ReadBytes(std::min(Rest, Stream.Remaining()));
    const std::span<const uint8_t> All(Content);
    size_t Pos = ParseText(All, BigEndian, Text, Encoding);
    while (Pos < All.size() && MoreTexts.size() < kMaxStrings) {
        bool MoreBigEndian = false;
        std::u16string More;
        Pos += ParseText(All.subspan(Pos), MoreBigEndian, More, Encoding);
        MoreTexts.push_back(std::move(More));
    }
    Stored = true;
    Modified = false;
    return true;
}

bool TTxxxFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    if (FrameID() == "Txxx")
        throw EID3LibFrameIDInvalid(
            "Invalid frame ID \"Txxx\" on save. You have to assign the correct frame ID prior saving!");
    if (ContentKeptAsStored()) return SaveStoredContent(Stream, Version);
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
    return false;
}

void TTxxxFrame::SetText(std::u16string_view NewText) {
    if (Text == NewText) return;
    Text = NewText;
    Modified = true;
}

}  // namespace covrilo
