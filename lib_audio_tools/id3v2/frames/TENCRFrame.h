// SPDX-License-Identifier: MIT
// "ENCR": encryption method registration: an owner identifier, the method symbol that encrypted frames carry,
// and data.
#pragma once

#include "id3v2/frames/TRegistrationFrame.h"

namespace covrilo {

class TENCRFrame : public TRegistrationFrame {
   public:
    TENCRFrame();
};

}  // namespace covrilo
