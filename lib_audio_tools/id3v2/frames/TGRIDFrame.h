// SPDX-License-Identifier: MIT
// "GRID": group identification registration: an owner identifier, the group symbol that frames of the group
// carry, and data.
#pragma once

#include "id3v2/frames/TRegistrationFrame.h"

namespace covrilo {

class TGRIDFrame : public TRegistrationFrame {
   public:
    TGRIDFrame();
};

}  // namespace covrilo
