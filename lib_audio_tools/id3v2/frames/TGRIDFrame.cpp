// SPDX-License-Identifier: MIT
#include "id3v2/frames/TGRIDFrame.h"

namespace covrilo {

TGRIDFrame::TGRIDFrame() { SetFrameID("GRID"); }

}  // namespace covrilo
