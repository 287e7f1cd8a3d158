// SPDX-License-Identifier: MIT
#include "id3v2/frames/TWURLFrame.h"

#include "id3v2/frames/TWXXXFrame.h"

namespace covrilo {

TWURLFrame::TWURLFrame() { FFrameID = {'W', 'x', 'x', 'x'}; }

uint32_t TWURLFrame::GetDataSize(uint16_t Version) {
    if (WritesOriginal(Version)) return OriginalSize();
    RequireValues(Version);
    return static_cast<uint32_t>(URL.size() + 1);
}

bool TWURLFrame::LoadFromStream(TStream& Stream, uint16_t Version) {
    if (!ReadFrameHeader(Stream, Version)) return false;
    URL.clear();
    std::vector<uint8_t> Inflated;
    if (const auto Content = ReadContent(Stream, Inflated)) {
        TCustomMemoryStream In(*Content);
        ReadLatin1(In, In.Size(), URL);
    }
    Stored = true;
    Modified = false;
    return true;
}

bool TWURLFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    if (FrameID() == "Wxxx")
        throw EID3LibFrameIDInvalid(
            "Invalid frame ID \"Wxxx\" on save. You have to assign the correct frame ID prior saving!");
    if (WritesOriginal(Version)) return SaveOriginal(Stream, Version);
    PrepareRender(Version);
    const bool Ok = WriteFrameHeader(Stream, Version) && WriteLatin1(Stream, URL);
    Stored = true;
    Modified = false;
    return Ok;
}

bool TWURLFrame::Assign(const TBaseFrame& Source) {
    const std::string* Other = LinkURLOf(Source);
    if (Other != nullptr) SetURL(*Other);
    return Other != nullptr;
}

void TWURLFrame::SetURL(const std::string& Value) {
    if (URL == Value) return;
    URL = Value;
    Modified = true;
}

const std::string* LinkURLOf(const TBaseFrame& Frame) {
    if (const auto* Link = dynamic_cast<const TWURLFrame*>(&Frame)) return &Link->URL;
    if (const auto* Link = dynamic_cast<const TWXXXFrame*>(&Frame)) return &Link->URL;
    return nullptr;
}

}  // namespace covrilo
