// SPDX-License-Identifier: MIT
#include "id3v2/frames/TPRIVFrame.h"

namespace covrilo {

TPRIVFrame::TPRIVFrame() { SetFrameID("PRIV"); }

uint32_t TPRIVFrame::GetDataSize(uint16_t Version) { return RenderedSize(Version); }

bool TPRIVFrame::LoadFromStream(TStream& Stream, uint16_t Version) { return ParseFrame(Stream, Version); }

bool TPRIVFrame::SaveToStream(TStream& Stream, uint16_t Version) { return RenderFrame(Stream, Version); }

void TPRIVFrame::ClearFields() {
    OwnerID.clear();
    Data.Clear();
}

void TPRIVFrame::ParseFields(std::span<const uint8_t> Content, uint16_t) {
    TCustomMemoryStream In(Content);
    const int64_t Prefix = ReadLatin1(In, In.Size(), OwnerID);
    ReadData(In, In.Size() - Prefix);
    KeepOriginalPrefix(static_cast<size_t>(Prefix));
}

std::vector<uint8_t> TPRIVFrame::RenderFields(uint16_t) {
    std::vector<uint8_t> Out;
    AppendLatin1(Out, OwnerID);
    return Out;
}

bool TPRIVFrame::Assign(const TBaseFrame& Source) {
    if (!TBaseDataFrame::Assign(Source)) return false;
    if (const auto* Other = dynamic_cast<const TPRIVFrame*>(&Source)) SetOwnerID(Other->OwnerID);
    return true;
}

void TPRIVFrame::SetOwnerID(const std::string& Value) {
    if (OwnerID == Value) return;
    OwnerID = Value;
    Modified = true;
}

}  // namespace covrilo
