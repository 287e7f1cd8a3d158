// SPDX-License-Identifier: MIT
// The ID3v2 probe over arbitrary bytes: it must stay within its input and never throw.
#include <cstddef>
#include <cstdint>

#include "formats/ID3v2.h"
#include "io/EnhancedStreams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    covrilo::TCustomMemoryStream stream(std::span<const uint8_t>(Data, Size));
    covrilo::TID3v2 probe;
    probe.ReadFromStream(stream);
    return 0;
}
