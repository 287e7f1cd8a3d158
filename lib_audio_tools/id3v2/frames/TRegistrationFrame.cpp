// SPDX-License-Identifier: MIT
#include "id3v2/frames/TRegistrationFrame.h"

#include <typeinfo>

namespace covrilo {

uint32_t TRegistrationFrame::GetDataSize(uint16_t Version) {
    if (WritesOriginal(Version)) return OriginalSize();
    RequireValues(Version);
    return static_cast<uint32_t>(OwnerID.size() + 1 + 1 + Data.Data().size());
}

bool TRegistrationFrame::LoadFromStream(TStream& Stream, uint16_t Version) {
    if (!ReadFrameHeader(Stream, Version)) return false;
    OwnerID.clear();
    Symbol = 0;
    Data.Clear();
    std::vector<uint8_t> Inflated;
    if (const auto Content = ReadContent(Stream, Inflated)) {
        TCustomMemoryStream In(*Content);
        int64_t Rest = In.Size() - ReadLatin1(In, In.Size(), OwnerID);
        // The symbol belongs to the content: a content that ends early has none.
        if (Rest > 0 && ReadByte(In, Symbol)) --Rest;
        const int64_t Prefix = In.Position();
        ReadData(In, Rest);
        KeepOriginalPrefix(static_cast<size_t>(Prefix));
    }
    Stored = true;
    Modified = false;
    return true;
}

bool TRegistrationFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    if (WritesOriginal(Version)) return SaveOriginal(Stream, Version);
    PrepareRender(Version);
    bool Ok = WriteFrameHeader(Stream, Version) && WriteLatin1(Stream, OwnerID) &&
              WriteBytes(Stream, std::span<const uint8_t>(&Symbol, 1));
    if (Ok && Data.Size() > 0) Ok = WriteData(Stream);
    Stored = true;
    Modified = false;
    return Ok;
}

uint8_t TRegistrationFrame::GetSupportedVersions() {
    if (Symbol < 0x80 || Symbol > 0xF0) return SupportedVersions & ~svID3v24;
    return SupportedVersions;
}

bool TRegistrationFrame::Assign(const TBaseFrame& Source) {
    if (!TBaseDataFrame::Assign(Source)) return false;
    if (typeid(Source) == typeid(*this)) {
        const auto& Other = static_cast<const TRegistrationFrame&>(Source);
        SetOwnerID(Other.OwnerID);
        SetSymbol(Other.Symbol);
    }
    return true;
}

void TRegistrationFrame::SetOwnerID(const std::string& Value) {
    if (OwnerID == Value) return;
    OwnerID = Value;
    Modified = true;
}

void TRegistrationFrame::SetSymbol(uint8_t Value) {
    if (Symbol == Value) return;
    Symbol = Value;
    Modified = true;
}

}  // namespace covrilo
