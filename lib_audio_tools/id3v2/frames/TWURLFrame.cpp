// SPDX-License-Identifier: MIT
#include "id3v2/frames/TWURLFrame.h"

#include "id3v2/frames/TWXXXFrame.h"

namespace covrilo {

TWURLFrame::TWURLFrame() { FFrameID = {'W', 'x', 'x', 'x'}; }

uint32_t TWURLFrame::GetDataSize(uint16_t Version) { return RenderedSize(Version); }

bool TWURLFrame::LoadFromStream(TStream& Stream, uint16_t Version) { return ParseFrame(Stream, Version); }

bool TWURLFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    RefusePlaceholderID("Wxxx");
    return RenderFrame(Stream, Version);
}

void TWURLFrame::ClearFields() { URL.clear(); }

void TWURLFrame::ParseFields(std::span<const uint8_t> Content, uint16_t) {
    TCustomMemoryStream in(Content);
    ReadLatin1(in, in.Size(), URL);
}

std::vector<uint8_t> TWURLFrame::RenderFields(uint16_t) {
    std::vector<uint8_t> out;
    AppendLatin1(out, URL);
    return out;
}

bool TWURLFrame::Assign(const TBaseFrame& Source) {
    const std::string* other = LinkURLOf(Source);
    if (other != nullptr) SetURL(*other);
    return other != nullptr;
}

void TWURLFrame::SetURL(const std::string& Value) {
    if (URL == Value) return;
    URL = Value;
    Modified = true;
}

const std::string* LinkURLOf(const TBaseFrame& Frame) {
    if (const auto* link = dynamic_cast<const TWURLFrame*>(&Frame)) return &link->URL;
    if (const auto* link = dynamic_cast<const TWXXXFrame*>(&Frame)) return &link->URL;
    return nullptr;
}

}  // namespace covrilo
