// SPDX-License-Identifier: MIT
#include "id3v2/frames/TRegistrationFrame.h"

#include <typeinfo>

namespace covrilo {

uint32_t TRegistrationFrame::GetDataSize(uint16_t Version) { return RenderedSize(Version); }

bool TRegistrationFrame::LoadFromStream(TStream& Stream, uint16_t Version) { return ParseFrame(Stream, Version); }

bool TRegistrationFrame::SaveToStream(TStream& Stream, uint16_t Version) { return RenderFrame(Stream, Version); }

void TRegistrationFrame::ClearFields() {
    OwnerID.clear();
    Symbol = 0;
    Data.Clear();
}

void TRegistrationFrame::ParseFields(std::span<const uint8_t> Content, uint16_t) {
    TCustomMemoryStream In(Content);
    int64_t Rest = In.Size() - ReadLatin1(In, In.Size(), OwnerID);
    // The symbol belongs to the content: a content that ends early has none.
    if (Rest > 0 && ReadByte(In, Symbol)) --Rest;
    const int64_t Prefix = In.Position();
    ReadData(In, Rest);
    KeepOriginalPrefix(static_cast<size_t>(Prefix));
}

std::vector<uint8_t> TRegistrationFrame::RenderFields(uint16_t) {
    std::vector<uint8_t> Out;
    AppendLatin1(Out, OwnerID);
    Out.push_back(Symbol);
    return Out;
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
