// SPDX-License-Identifier: MIT
#include "id3v2/frames/TWXXXFrame.h"

#include "id3v2/frames/TWURLFrame.h"

namespace covrilo {

TWXXXFrame::TWXXXFrame() { SetFrameID("WXXX"); }

uint32_t TWXXXFrame::GetDataSize(uint16_t Version) { return RenderedSize(Version); }

bool TWXXXFrame::LoadFromStream(TStream& Stream, uint16_t Version) { return ParseFrame(Stream, Version); }

bool TWXXXFrame::SaveToStream(TStream& Stream, uint16_t Version) { return RenderFrame(Stream, Version); }

void TWXXXFrame::ClearFields() {
    Description.clear();
    URL.clear();
}

void TWXXXFrame::ParseFields(std::span<const uint8_t> Content, uint16_t) {
    const std::span<const uint8_t> All = TakeEncodingByte(Content);
    TCustomMemoryStream In(All);
    int64_t Rest = In.Size();
    const int64_t DescriptionBytes = ReadText(In, Rest, BigEndian, Description, Encoding);
    NoteTextBytes(All.first(static_cast<size_t>(DescriptionBytes)));
    Rest -= DescriptionBytes;
    SkipStrayTerminator(In, Rest);
    ReadLatin1(In, Rest, URL);
}

std::vector<uint8_t> TWXXXFrame::RenderFields(uint16_t Version) {
    const TTextEncoding Target = RenderedEncoding(Version);
    std::vector<uint8_t> Out{EncodingToByte(Target)};
    AppendText(Out, Description, BigEndian, Target);
    AppendLatin1(Out, URL);
    return Out;
}

bool TWXXXFrame::Assign(const TBaseFrame& Source) {
    const std::string* Other = LinkURLOf(Source);
    if (Other != nullptr) SetURL(*Other);
    return Other != nullptr;
}

void TWXXXFrame::SetURL(const std::string& Value) {
    if (URL == Value) return;
    URL = Value;
    Modified = true;
}

void TWXXXFrame::SetDescription(std::u16string_view Value) {
    if (Description == Value) return;
    Description = Value;
    Modified = true;
}

}  // namespace covrilo
