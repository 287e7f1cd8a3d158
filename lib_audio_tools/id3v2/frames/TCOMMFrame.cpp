// SPDX-License-Identifier: MIT
#include "id3v2/frames/TCOMMFrame.h"

#include <algorithm>

#include "id3v1/ID3v1Types.h"
#include "io/TextConversion.h"

namespace covrilo {

TCOMMFrame::TCOMMFrame() { SetFrameID("COMM"); }

uint32_t TCOMMFrame::GetDataSize(uint16_t Version) { return RenderedSize(Version); }

bool TCOMMFrame::LoadFromStream(TStream& Stream, uint16_t Version) { return ParseFrame(Stream, Version); }

bool TCOMMFrame::SaveToStream(TStream& Stream, uint16_t Version) { return RenderFrame(Stream, Version); }

void TCOMMFrame::ClearFields() {
    FLanguage = {};
    Description.clear();
    Text.clear();
    MoreTexts.clear();
}

void TCOMMFrame::ParseFields(std::span<const uint8_t> Content, uint16_t) {
    const std::span<const uint8_t> All = TakeEncodingByte(Content);
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

std::vector<uint8_t> TCOMMFrame::RenderFields(uint16_t Version) {
    const TTextEncoding Target = RenderedEncoding(Version);
    std::vector<uint8_t> Out{EncodingToByte(Target)};
    Out.insert(Out.end(), FLanguage.begin(), FLanguage.end());
    AppendText(Out, Description, BigEndian, Target);
    AppendText(Out, Text, BigEndian, Target);
    for (const auto& More : MoreTexts) AppendText(Out, More, BigEndian, Target);
    return Out;
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
