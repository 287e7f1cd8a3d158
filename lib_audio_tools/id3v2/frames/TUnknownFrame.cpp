// SPDX-License-Identifier: MIT
#include "id3v2/frames/TUnknownFrame.h"

namespace covrilo {

TUnknownFrame::TUnknownFrame() {
    FFrameID = {'U', 'K', 'W', 'N'};
    // Nothing stops an uninterpreted frame from being written in any version.
    SupportedVersions = svID3v22 | svID3v23 | svID3v24;
}

uint32_t TUnknownFrame::GetDataSize(uint16_t Version) {
    if (ContentKeptAsStored()) StoredContentSize(Version);  // refuses versions that cannot flag it
    return static_cast<uint32_t>(Data.Size());
}

bool TUnknownFrame::LoadFromStream(TStream& Stream, uint16_t Version) {
    if (!ReadFrameHeader(Stream, Version)) return false;
    if (Stream.Remaining() < int64_t{DataSize})
        throw EID3LibLoadException("illegal frame \"" + FrameID() + "\" found, cancel reading frames");
    TMemoryStream Plain;
    TStream& In = PlainContent(Stream, Plain);
    ReadData(In, DataSize);
    Stored = true;
    Modified = false;
    return true;
}

bool TUnknownFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    const bool Ok = WriteFrameHeader(Stream, Version) && WriteData(Stream);
    Stored = true;
    Modified = false;
    return Ok;
}

}  // namespace covrilo
