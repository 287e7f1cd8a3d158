// SPDX-License-Identifier: MIT
// What a save through the facade did to a file's tags, or, worked out without writing (a dry
// run), what it would do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace covrilo {

struct TSaveReport {
    bool Written = false;  // the file was (or would be) changed at all
    // Written anew beside the old file and renamed over it; otherwise in place.
    bool Rewrite = false;
    uint16_t OldVersion = 0, NewVersion = 0;   // the ID3v2 version word before and after; 0: no tag
    int64_t OldTagBytes = 0, NewTagBytes = 0;  // the whole ID3v2 tag, header and padding included
    // The frames that go and those that come, each as "ID: what it holds"; a frame written
    // again as it was is in neither list.
    std::vector<std::string> Removed, Added;
    bool ID3v1Changed = false;  // the ID3v1 record (with its Lyrics3 block) is written anew
};

}  // namespace covrilo
