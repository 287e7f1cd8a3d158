// SPDX-License-Identifier: MIT
#include "id3v2/frames/TPRIVFrame.h"

namespace covrilo {

TPRIVFrame::TPRIVFrame() { SetFrameID("PRIV"); }

uint32_t TPRIVFrame::GetDataSize(uint16_t Version) {
    if (WritesOriginal(Version)) return OriginalSize();
    RequireValues(Version);
    return static_cast<uint32_t>(OwnerID.size() + 1 + Data.Data().size());
}

bool TPRIVFrame::LoadFromStream(TStream& Stream, uint16_t Version) {
    if (!ReadFrameHeader(Stream, Version)) return false;
    OwnerID.clear();
    Data.Clear();
    std::vector<uint8_t> Inflated;
    if (const auto Content = ReadContent(Stream, Inflated)) {
        TCustomMemoryStream In(*Content);
        const int64_t Prefix = ReadLatin1(In, In.Size(), OwnerID);
        ReadData(In, In.Size() - Prefix);
        KeepOriginalPrefix(static_cast<size_t>(Prefix));
    }
    Stored = true;
    Modified = false;
    return true;
}

bool TPRIVFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    if (WritesOriginal(Version)) return SaveOriginal(Stream, Version);
    PrepareRender(Version);
    const bool Ok = WriteFrameHeader(Stream, Version) && WriteLatin1(Stream, OwnerID) && WriteData(Stream);
    Stored = true;
    Modified = false;
    return Ok;
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
