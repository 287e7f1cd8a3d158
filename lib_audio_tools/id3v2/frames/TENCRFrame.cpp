// SPDX-License-Identifier: MIT
#include "id3v2/frames/TENCRFrame.h"

namespace covrilo {

TENCRFrame::TENCRFrame() { SetFrameID("ENCR"); }

uint32_t TENCRFrame::GetDataSize(uint16_t Version) {
    if (ContentKeptAsStored()) return StoredContentSize(Version);
    return static_cast<uint32_t>(OwnerID.size() + 1 + 1 + Data.Data().size());
}

bool TENCRFrame::LoadFromStream(TStream& Stream, uint16_t Version) {
    if (!ReadFrameHeader(Stream, Version)) return false;
    OwnerID.clear();
    Symbol = 0;
    Data.Clear();
    StoredContent.clear();
    if (ContentKeptAsStored()) return LoadStoredContent(Stream);
    TMemoryStream Plain;
    TStream& In = PlainContent(Stream, Plain);
    int64_t Rest = DataSize;
    Rest -= ReadLatin1(In, Rest, OwnerID);
    // The symbol belongs to the content: a content that ends early has none.
    if (Rest > 0 && ReadByte(In, Symbol)) --Rest;
    ReadData(In, Rest);
    Stored = true;
    Modified = false;
    return true;
}

bool TENCRFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    if (ContentKeptAsStored()) return SaveStoredContent(Stream, Version);
    bool Ok = WriteFrameHeader(Stream, Version) && WriteLatin1(Stream, OwnerID) &&
              WriteBytes(Stream, std::span<const uint8_t>(&Symbol, 1));
    if (Ok && Data.Size() > 0) Ok = WriteData(Stream);
    Stored = true;
    Modified = false;
    return Ok;
}

uint8_t TENCRFrame::GetSupportedVersions() {
    if (Symbol < 0x80 || Symbol > 0xF0) return SupportedVersions & ~svID3v24;
    return SupportedVersions;
}

bool TENCRFrame::Assign(const TBaseFrame& Source) {
    if (!TBaseDataFrame::Assign(Source)) return false;
    if (const auto* Other = dynamic_cast<const TENCRFrame*>(&Source)) {
        SetOwnerID(Other->OwnerID);
        SetSymbol(Other->Symbol);
    }
    return true;
}

void TENCRFrame::SetOwnerID(const std::string& Value) {
    if (OwnerID == Value) return;
    OwnerID = Value;
    Modified = true;
}

void TENCRFrame::SetSymbol(uint8_t Value) {
    if (Symbol == Value) return;
    Symbol = Value;
    Modified = true;
}

}  // namespace covrilo
