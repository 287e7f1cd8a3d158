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
    TCustomMemoryStream in(Content);
    const int64_t prefix = ReadLatin1(in, in.Size(), OwnerID);
    ReadData(in, in.Size() - prefix);
    KeepOriginalPrefix(static_cast<size_t>(prefix));
}

std::vector<uint8_t> TPRIVFrame::RenderFields(uint16_t) {
    std::vector<uint8_t> out;
    AppendLatin1(out, OwnerID);
    return out;
}

bool TPRIVFrame::Assign(const TBaseFrame& Source) {
    if (!TBaseDataFrame::Assign(Source)) return false;
    if (const auto* other = dynamic_cast<const TPRIVFrame*>(&Source)) SetOwnerID(other->OwnerID);
    return true;
}

void TPRIVFrame::SetOwnerID(const std::string& Value) {
    if (OwnerID == Value) return;
    OwnerID = Value;
    Modified = true;
}

}  // namespace covrilo
