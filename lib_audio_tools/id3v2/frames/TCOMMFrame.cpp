// SPDX-License-Identifier: MIT
#include "id3v2/frames/TCOMMFrame.h"

#include <algorithm>

#include "id3v1/ID3v1Types.h"
#include "io/TextConversion.h"

namespace covrilo {

TCOMMFrame::TCOMMFrame() { SetFrameID("COMM"); }

uint32_t TCOMMFrame::GetDataSize(uint16_t Version) {
    if (WritesOriginal(Version)) return OriginalSize();
    RequireValues(Version);
    const TTextEncoding Adjusted = AdjustedEncoding(Version);
    uint32_t Size = TEncodingFrame::GetDataSize(Version) + 3 + EncodedTextSize(Description, Adjusted) +
                    EncodedTextSize(Text, Adjusted);
    for (const auto& More : MoreTexts) Size += EncodedTextSize(More, Adjusted);
    return Size;
}

bool TCOMMFrame::LoadFromStream(TStream& Stream, uint16_t Version) {
    if (!ReadFrameHeader(Stream, Version)) return false;
    FLanguage = {};
    Description.clear();
    Text.clear();
    MoreTexts.clear();
    std::vector<uint8_t> Inflated;
    if (const auto Content = ReadContent(Stream, Inflated)) {
        const std::span<const uint8_t> All = TakeEncodingByte(*Content);
        TCustomMemoryStream In(All);
        int64_t Rest = In.Size();
        Rest -= In.Read(FLanguage.data(), std::min<int64_t>(3, Rest));
        NoteTextBytes(All.subspan(static_cast<size_t>(In.Position())));
        Rest -= ReadText(In, Rest, BigEndian, Description, Encoding);
        SkipStrayTerminator(In, Rest);
        Rest -= ReadText(In, Rest, BigEndian, Text, Encoding);
        // A trailing piece shorter than one character unit is no string.
        const int64_t Unit = (Encoding == teUTF16 || Encoding == teUTF16BE) ? 2 : 1;
        while (Rest >= Unit && MoreTexts.size() < 65536) {
            bool MoreBigEndian = false;
            std::u16string More;
            Rest -= ReadText(In, Rest, MoreBigEndian, More, Encoding);
            MoreTexts.push_back(std::move(More));
        }
    }
    Stored = true;
    Modified = false;
    return true;
}

bool TCOMMFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    if (WritesOriginal(Version)) return SaveOriginal(Stream, Version);
    PrepareRender(Version);
    TEncodingFrame::SaveToStream(Stream, Version);
    const uint8_t EncodingByte = EncodingToByte(Encoding);
    bool Ok =
        WriteFrameHeader(Stream, Version) && WriteBytes(Stream, std::span<const uint8_t>(&EncodingByte, 1)) &&
        WriteBytes(Stream, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(FLanguage.data()), 3)) &&
        WriteText(Stream, Description, BigEndian, Encoding) && WriteText(Stream, Text, BigEndian, Encoding);
    for (const auto& More : MoreTexts) Ok = Ok && WriteText(Stream, More, BigEndian, Encoding);
    Stored = true;
    Modified = false;
    return Ok;
}

bool TCOMMFrame::Assign(const TBaseFrame& Source) {
    if (const auto* Other = dynamic_cast<const TCOMMFrame*>(&Source)) {
        SetLanguage(Other->Language());
        SetText(Other->Text);
        return true;
    }
    if (const auto* Record = dynamic_cast<const TID3v1Tag*>(&Source)) {
        SetText(AnsiToWide(Record->Comment));
        return true;
    }
    return false;
}

void TCOMMFrame::SetText(std::u16string_view Value) {
    if (Text == Value) return;
    Text = Value;
    Modified = true;
}

void TCOMMFrame::SetDescription(std::u16string_view Value) {
    if (Description == Value) return;
    Description = Value;
    Modified = true;
}

void TCOMMFrame::SetLanguage(std::string_view Value) {
    if (Value.size() < 3) return;
    std::copy_n(Value.begin(), 3, FLanguage.begin());
    Modified = true;
}

}  // namespace covrilo
