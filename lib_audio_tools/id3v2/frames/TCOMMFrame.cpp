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
    const std::span<const uint8_t> all = TakeEncodingByte(Content);
    TCustomMemoryStream in(all);
    int64_t rest = in.Size();
    rest -= in.Read(FLanguage.data(), std::min<int64_t>(3, rest));
    NoteTextBytes(all.subspan(static_cast<size_t>(in.Position())));
    rest -= ReadText(in, rest, BigEndian, Description, Encoding);
    SkipStrayTerminator(in, rest);
    rest -= ReadText(in, rest, BigEndian, Text, Encoding);
    // A trailing piece shorter than one character unit is no string.
    const int64_t unit = (Encoding == teUTF16 || Encoding == teUTF16BE) ? 2 : 1;
    while (rest >= unit && MoreTexts.size() < 65536) {
        bool moreBigEndian = false;
        std::u16string more;
        rest -= ReadText(in, rest, moreBigEndian, more, Encoding);
        MoreTexts.push_back(std::move(more));
    }
}

std::vector<uint8_t> TCOMMFrame::RenderFields(uint16_t Version) {
    const TTextEncoding target = RenderedEncoding(Version);
    std::vector<uint8_t> out{EncodingToByte(target)};
    out.insert(out.end(), FLanguage.begin(), FLanguage.end());
    AppendText(out, Description, BigEndian, target);
    AppendText(out, Text, BigEndian, target);
    for (const auto& more : MoreTexts) AppendText(out, more, BigEndian, target);
    return out;
}

bool TCOMMFrame::Assign(const TBaseFrame& Source) {
    if (const auto* other = dynamic_cast<const TCOMMFrame*>(&Source)) {
        SetLanguage(other->Language());
        SetText(other->Text);
        return true;
    }
    if (const auto* record = dynamic_cast<const TID3v1Tag*>(&Source)) {
        SetText(AnsiToWide(record->Comment));
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
