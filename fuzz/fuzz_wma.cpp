// SPDX-License-Identifier: MIT
// The WMA header reader over arbitrary bytes: it must stay within its input, never throw
// and always finish.
#include <cstddef>
#include <cstdint>

#include "formats/WMAfile.h"
#include "io/EnhancedStreams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    covrilo::TCustomMemoryStream stream(std::span<const uint8_t>(Data, Size));
    covrilo::TWMAfile wma;
    wma.ReadFromStream(stream);
    return 0;
}
