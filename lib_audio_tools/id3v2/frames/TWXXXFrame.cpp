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
    const std::span<const uint8_t> all = TakeEncodingByte(Content);
    TCustomMemoryStream in(all);
    int64_t rest = in.Size();
    const int64_t descriptionBytes = ReadText(in, rest, BigEndian, Description, Encoding);
    NoteTextBytes(all.first(static_cast<size_t>(descriptionBytes)));
    rest -= descriptionBytes;
    SkipStrayTerminator(in, rest);
    ReadLatin1(in, rest, URL);
}

std::vector<uint8_t> TWXXXFrame::RenderFields(uint16_t Version) {
    const TTextEncoding target = RenderedEncoding(Version);
    std::vector<uint8_t> out{EncodingToByte(target)};
    AppendText(out, Description, BigEndian, target);
    AppendLatin1(out, URL);
    return out;
}

bool TWXXXFrame::Assign(const TBaseFrame& Source) {
    const std::string* other = LinkURLOf(Source);
    if (other != nullptr) SetURL(*other);
    return other != nullptr;
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
