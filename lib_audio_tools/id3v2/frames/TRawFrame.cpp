// SPDX-License-Identifier: MIT
#include "id3v2/frames/TRawFrame.h"

#include <algorithm>

#include "io/ByteCursor.h"

namespace covrilo {

namespace {

// The three status flags, by version: tag alter, file alter, read only (the first flag byte).
constexpr uint8_t kStatus23[3] = {0x80, 0x40, 0x20};
constexpr uint8_t kStatus24[3] = {0x40, 0x20, 0x10};

uint8_t MapStatus(uint8_t Byte, const uint8_t (&From)[3], const uint8_t (&To)[3]) {
    uint8_t out = 0;
    for (int i = 0; i < 3; ++i)
        if (Byte & From[i]) out |= To[i];
    return out;
}

uint8_t StatusMask(uint8_t Major) {
    const uint8_t(&bits)[3] = Major == 3 ? kStatus23 : kStatus24;
    return static_cast<uint8_t>(bits[0] | bits[1] | bits[2]);
}

}  // namespace

TRawFrame::TRawFrame(std::span<const uint8_t> Frame, uint16_t Version, TKind FrameKind)
    : Kind(FrameKind), Bytes(Frame.begin(), Frame.end()) {
    LoadedVersion = Version;
    const size_t idLength = std::min<size_t>(MajorVersion(Version) == 2 ? 3 : 4, Bytes.size());
    FFrameID = {};
    std::copy_n(Bytes.begin(), idLength, FFrameID.begin());
    FrameSize = static_cast<uint32_t>(Bytes.size() - std::min(Bytes.size(), HeaderLength()));
    DataSize = FrameSize;
    SupportedVersions = 0;
    Stored = true;
}

bool TRawFrame::Convertible(uint16_t Version) const {
    const uint8_t from = MajorVersion(LoadedVersion), to = MajorVersion(Version);
    if (from == to) return true;
    if (Kind != TKind::InvalidID || from < 3 || to < 3 || to > 4 || Bytes.size() < 10) return false;
    // Format flags (the second byte) change the layout of the header's extra bytes and of the
    // content; only the status flags have a counterpart in the other version.
    return Bytes[9] == 0 && (Bytes[8] & ~StatusMask(from)) == 0;
}

uint32_t TRawFrame::GetHeaderSize(uint16_t Version) {
    return MajorVersion(Version) == MajorVersion(LoadedVersion) ? static_cast<uint32_t>(HeaderLength()) : 10;
}

uint32_t TRawFrame::GetDataSize(uint16_t Version) {
    if (!Convertible(Version))
        throw EID3LibFrameVersionMismatch("frame \"" + PrintableFrameID(FrameID()) + "\" " +
                                          CarryProblem(Version));
    return static_cast<uint32_t>(Bytes.size() - std::min(Bytes.size(), HeaderLength()));
}

bool TRawFrame::LoadFromStream(TStream&, uint16_t) { return false; }

bool TRawFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    const uint32_t content = GetDataSize(Version);  // raises when it cannot be written there
    const uint8_t from = MajorVersion(LoadedVersion), to = MajorVersion(Version);
    if (from == to) return WriteBytes(Stream, Bytes);
    std::vector<uint8_t> header(Bytes.begin(), Bytes.begin() + 4);
    if (to == 4) {
        if (content > 0x0FFFFFFF)
            throw EID3LibFrameVersionMismatch("frame \"" + PrintableFrameID(FrameID()) +
                                              "\" is too large for ID3v2.4.x");
        uint8_t size[4];
        EncodeSyncsafe(content, size);
        header.insert(header.end(), size, size + 4);
        header.push_back(MapStatus(Bytes[8], kStatus23, kStatus24));
    } else {
        AppendU32BE(header, content);
        header.push_back(MapStatus(Bytes[8], kStatus24, kStatus23));
    }
    header.push_back(0);
    return WriteBytes(Stream, header) &&
           WriteBytes(Stream, std::span<const uint8_t>(Bytes).subspan(HeaderLength()));
}

std::string TRawFrame::CarryProblem(uint16_t Version) {
    if (Convertible(Version)) return {};
    const std::string target = "ID3v2." + std::to_string(MajorVersion(Version));
    switch (Kind) {
        case TKind::TwoTwoOnly:
            return "is an ID3v2.2 frame that has no " + target + " form";
        case TKind::BrokenHeader:
            return "has a header whose size cannot hold its extra bytes, so it cannot be converted to " +
                   target;
        case TKind::InvalidID:
            break;
    }
    return "has no valid identifier and flags that cannot be converted to " + target;
}

}  // namespace covrilo
