// SPDX-License-Identifier: MIT
#include "id3v2/frames/TRegistrationFrame.h"

#include <typeinfo>

namespace covrilo {

uint32_t TRegistrationFrame::GetDataSize(uint16_t Version) { return RenderedSize(Version); }

bool TRegistrationFrame::LoadFromStream(TStream& Stream, uint16_t Version) {
    return ParseFrame(Stream, Version);
}

bool TRegistrationFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    return RenderFrame(Stream, Version);
}

void TRegistrationFrame::ClearFields() {
    OwnerID.clear();
    Symbol = 0;
    Data.Clear();
}

void TRegistrationFrame::ParseFields(std::span<const uint8_t> Content, uint16_t) {
    TCustomMemoryStream in(Content);
    int64_t rest = in.Size() - ReadLatin1(in, in.Size(), OwnerID);
    // The symbol belongs to the content: a content that ends early has none.
    if (rest > 0 && ReadByte(in, Symbol)) --rest;
    const int64_t prefix = in.Position();
    ReadData(in, rest);
    KeepOriginalPrefix(static_cast<size_t>(prefix));
}

std::vector<uint8_t> TRegistrationFrame::RenderFields(uint16_t) {
    std::vector<uint8_t> out;
    AppendLatin1(out, OwnerID);
    out.push_back(Symbol);
    return out;
}

uint8_t TRegistrationFrame::GetSupportedVersions() {
    if (Symbol < 0x80 || Symbol > 0xF0) return SupportedVersions & ~svID3v24;
    return SupportedVersions;
}

bool TRegistrationFrame::Assign(const TBaseFrame& Source) {
    if (!TBaseDataFrame::Assign(Source)) return false;
    if (typeid(Source) == typeid(*this)) {
        const auto& other = static_cast<const TRegistrationFrame&>(Source);
        SetOwnerID(other.OwnerID);
        SetSymbol(other.Symbol);
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
