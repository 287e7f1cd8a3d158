// SPDX-License-Identifier: MIT
// The ISO 639-2 language code list (reference data; no frame consults it).
#pragma once

#include <span>

namespace covrilo {

struct TISO639_2Entry {
    char Code[4];  // three letters, zero-terminated
    const char* Name;
};

// All rows, ordered alphabetically by English name; bibliographic and terminology codes
// both listed where they differ; collective entries included.
std::span<const TISO639_2Entry> ISO639_2Entries();

}  // namespace covrilo
