// SPDX-License-Identifier: MIT
#include "id3v2/frames/TENCRFrame.h"

namespace covrilo {

TENCRFrame::TENCRFrame() { SetFrameID("ENCR"); }

}  // namespace covrilo
