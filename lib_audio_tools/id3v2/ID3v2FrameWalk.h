// SPDX-License-Identifier: MIT
// The frame walk: reads every frame of a frame area (the frames of a tag, or the sub-frames
// of a chapter frame) into frame objects, the way the peers (mutagen, TagLib) read real
// files, and says whether it reached the end of the area.
//
// - 2.4 sizes are syncsafe, but iTunes wrote plain 32-bit sizes: the area is walked both
//   ways and the reading that walks it consistently is taken for the whole area.
// - A frame is read from its own bytes only: extra header bytes that its size cannot hold
//   make it a raw frame (kept byte for byte), never a reason to read the next frame.
// - An identifier that is none (a frame named "Date", iTunes' "TP1\0" in a 2.3 tag) is
//   skipped by its size when that lands on the next frame, the padding or the end: the
//   2.2-style names are mapped to their 2.3 form, anything else is kept as a raw frame.
// - ID3v2.2 identifiers without a 2.3 form are kept as raw frames too.
// - The walk ends without complaint at padding: an identifier of zero bytes (readers stop
//   there; whatever follows is never read), or a run of one filler byte (0x00, 0xFF or a
//   space) up to the end. Anything else that is not a frame stops it early.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "id3v2/frames/TBaseFrame.h"

namespace covrilo {

struct TFrameWalk {
    // The walk read up to the end of the area or up to its padding.
    bool Complete = true;
    // Where it stopped early (file offset, or offset in the area for sub-frames), the
    // identifier found there as far as it could be read, and why.
    int64_t StopOffset = -1;
    std::string StopID;
    std::string StopReason;
    // 2.4 frame sizes were read as plain 32-bit numbers.
    bool PlainSizes = false;
};

// Reads the frames of Area (whose first byte lies at Offset in the file) written in Version
// and appends them to Frames, each with its FileOffset.
TFrameWalk WalkFrames(std::span<const uint8_t> Area, int64_t Offset, uint16_t Version,
                      std::vector<std::unique_ptr<TBaseFrame>>& Frames);

// Whether 2.4 frame sizes in Area read as plain 32-bit numbers walk it consistently where
// syncsafe ones do not.
bool HasPlainFrameSizes(std::span<const uint8_t> Area);

// Four bytes (2.2: three) of A-Z and 0-9.
bool IsFrameIDText(std::span<const uint8_t> ID);

}  // namespace covrilo
