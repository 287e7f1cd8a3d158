// SPDX-License-Identifier: MIT
#include "DemoTags.h"

namespace covrilo::demo {

bool TagDemoFile(const std::filesystem::path& /*file*/, const DemoTrack& /*track*/) {
    // No tag writer is linked yet: the demo files are plain MPEG audio for now.
    return false;
}

}  // namespace covrilo::demo
