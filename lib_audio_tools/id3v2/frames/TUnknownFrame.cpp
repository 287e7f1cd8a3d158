// SPDX-License-Identifier: MIT
#include "id3v2/frames/TUnknownFrame.h"

namespace covrilo {

namespace {

// 2.2 frames have no flags: content stored compressed or encrypted would be taken as plain.
bool StoredFormUnmarkable(const TBaseFrame& Frame, uint16_t Version) {
    return MajorVersion(Version) == 2 && Frame.ContentKeptAsStored();
}

}  // namespace

TUnknownFrame::TUnknownFrame() {
    FFrameID = {'U', 'K', 'W', 'N'};
    // Nothing stops an uninterpreted frame from being written in any version.
    SupportedVersions = svID3v22 | svID3v23 | svID3v24;
}

uint32_t TUnknownFrame::GetDataSize(uint16_t Version) { return RenderedSize(Version); }

std::vector<uint8_t> TUnknownFrame::RenderFields(uint16_t Version) {
    if (StoredFormUnmarkable(*this, Version))
        throw EID3LibFrameVersionMismatch("frame \"" + PrintableFrameID(FrameID()) + "\" " +
                                          CarryProblem(Version));
    return {};
}

bool TUnknownFrame::LoadFromStream(TStream& Stream, uint16_t Version) {
    if (!ReadFrameHeader(Stream, Version)) return false;
    if (Stream.Remaining() < int64_t{DataSize})
        throw EID3LibLoadException("illegal frame \"" + FrameID() + "\" found, cancel reading frames");
    // The content is opaque: kept as read (only unsynchronisation undone), in Data.
    std::vector<uint8_t> unused;
    ReadContent(Stream, unused, false);
    Data.Data() = std::move(originalContent_);
    Data.SetPosition(0);
    DropOriginal();
    Stored = true;
    Modified = false;
    return true;
}

bool TUnknownFrame::SaveToStream(TStream& Stream, uint16_t Version) { return RenderFrame(Stream, Version); }

std::string TUnknownFrame::CarryProblem(uint16_t Version) {
    if (StoredFormUnmarkable(*this, Version))
        return "is stored compressed or encrypted, which ID3v2.2 cannot mark";
    return TBaseDataFrame::CarryProblem(Version);
}

}  // namespace covrilo
