// SPDX-License-Identifier: MIT
// A frame kept as the exact bytes it was read from, header included, because it cannot be
// read as a frame of its kind: an identifier that is none (a frame named "Date", garbage
// that its size still skips), a header whose extra bytes its size cannot hold, or an
// ID3v2.2 identifier that has no 2.3/2.4 form. Made by the frame walk only.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "id3v2/frames/TBaseFrame.h"

namespace covrilo {

class TRawFrame : public TBaseFrame {
   public:
    enum class TKind {
        InvalidID,     // the identifier is not four (2.2: three) of A-Z and 0-9
        BrokenHeader,  // the frame's size cannot hold the extra header bytes its flags announce
        TwoTwoOnly,    // a valid 2.2 identifier without a 2.3/2.4 form
    };

    // Bytes: the whole frame, header and content, read in Version.
    TRawFrame(std::span<const uint8_t> Bytes, uint16_t Version, TKind Kind);

    uint32_t GetHeaderSize(uint16_t Version) override;
    uint32_t GetDataSize(uint16_t Version) override;
    // Raw frames come from the frame walk, never from a stream of their own.
    bool LoadFromStream(TStream& Stream, uint16_t Version) override;
    // The bytes as read in the version they were read in. A frame whose only fault is its
    // identifier moves between 2.3 and 2.4 under the other version's header while it has
    // no flags beyond the three status flags; anything else raises EID3LibFrameVersionMismatch.
    bool SaveToStream(TStream& Stream, uint16_t Version) override;
    std::string CarryProblem(uint16_t Version) override;

    // Readers stop at such a frame (TagLib ends its walk there): a save puts it after every
    // other frame, so they still see all of those.
    bool StopsReaders() const { return Kind != TKind::TwoTwoOnly; }

    TKind Kind;
    std::vector<uint8_t> Bytes;

   private:
    size_t HeaderLength() const { return MajorVersion(LoadedVersion) == 2 ? 6 : 10; }
    bool Convertible(uint16_t Version) const;
};

}  // namespace covrilo
