// SPDX-License-Identifier: MIT
#include "id3v2/frames/TEncodingFrame.h"

namespace covrilo {

uint32_t TEncodingFrame::GetDataSize(uint16_t) {
    if (Encoding == teUnknown)
        throw EID3LibTextEncodingInvalid("frame \"" + FrameID() + "\": text encoding teUnknown is invalid!");
    return 1;
}

bool TEncodingFrame::SaveToStream(TStream&, uint16_t Version) {
    AdjustEncoding(Version);
    return true;
}

void TEncodingFrame::AdjustEncoding(uint16_t Version) { Encoding = AdjustedEncoding(Version); }

TTextEncoding TEncodingFrame::AdjustedEncoding(uint16_t Version) const {
    if (Version < ID3V2_VERSION_2_4 && (Encoding == teUTF16BE || Encoding == teUTF8)) return teUTF16;
    return Encoding;
}

}  // namespace covrilo
