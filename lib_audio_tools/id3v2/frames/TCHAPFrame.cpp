// SPDX-License-Identifier: MIT
#include "id3v2/frames/TCHAPFrame.h"

#include "io/ByteCursor.h"

namespace covrilo {

TCHAPFrame::TCHAPFrame() { SetFrameID("CHAP"); }

bool TCHAPFrame::ParseOwnFields(std::span<const uint8_t> Content, size_t& Used) {
    Used = 0;
    return TakeLatin1(Content, Used, ElementID) && TakeBE32(Content, Used, StartTime) &&
           TakeBE32(Content, Used, EndTime) && TakeBE32(Content, Used, StartOffset) &&
           TakeBE32(Content, Used, EndOffset);
}

std::vector<uint8_t> TCHAPFrame::RenderOwnFields() const {
    std::vector<uint8_t> out(ElementID.begin(), ElementID.end());
    out.push_back(0);
    AppendU32BE(out, StartTime);
    AppendU32BE(out, EndTime);
    AppendU32BE(out, StartOffset);
    AppendU32BE(out, EndOffset);
    return out;
}

}  // namespace covrilo
