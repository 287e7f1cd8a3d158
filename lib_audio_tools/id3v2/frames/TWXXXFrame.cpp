// SPDX-License-Identifier: MIT
#include "id3v2/frames/TWXXXFrame.h"

#include "id3v2/frames/TWURLFrame.h"

namespace covrilo {

TWXXXFrame::TWXXXFrame() { SetFrameID("WXXX"); }

uint32_t TWXXXFrame::GetDataSize(uint16_t Version) {
    if (WritesOriginal(Version)) return OriginalSize();
    RequireValues(Version);
    return TEncodingFrame::GetDataSize(Version) + EncodedTextSize(Description, AdjustedEncoding(Version)) +
           static_cast<uint32_t>(URL.size() + 1);
}

bool TWXXXFrame::LoadFromStream(TStream& Stream, uint16_t Version) {
    if (!ReadFrameHeader(Stream, Version)) return false;
    Description.clear();
    URL.clear();
    std::vector<uint8_t> Inflated;
    if (const auto Content = ReadContent(Stream, Inflated)) {
        const std::span<const uint8_t> All = TakeEncodingByte(*Content);
        TCustomMemoryStream In(All);
        int64_t Rest = In.Size();
        const int64_t DescriptionBytes = ReadText(In, Rest, BigEndian, Description, Encoding);
        NoteTextBytes(All.first(static_cast<size_t>(DescriptionBytes)));
        Rest -= DescriptionBytes;
        SkipStrayTerminator(In, Rest);
        ReadLatin1(In, Rest, URL);
    }
    Stored = true;
    Modified = false;
    return true;
}

bool TWXXXFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    if (WritesOriginal(Version)) return SaveOriginal(Stream, Version);
    PrepareRender(Version);
    TEncodingFrame::SaveToStream(Stream, Version);
    const uint8_t EncodingByte = EncodingToByte(Encoding);
    const bool Ok = WriteFrameHeader(Stream, Version) && WriteBytes(Stream, std::span<const uint8_t>(&EncodingByte, 1)) &&
                    WriteText(Stream, Description, BigEndian, Encoding) && WriteLatin1(Stream, URL);
    Stored = true;
    Modified = false;
    return Ok;
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
