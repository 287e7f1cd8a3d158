// SPDX-License-Identifier: MIT
// SHA-256 as lower-case hex, so that picture data can be compared across the peer dumps
// (python's hashlib in mutagen_dump.py, this code in taglib_dump and the tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace covrilo::test {

std::string Sha256Hex(const uint8_t* Data, size_t Size);

template <typename Container>
std::string Sha256Hex(const Container& Data) {
    return Sha256Hex(reinterpret_cast<const uint8_t*>(Data.data()), Data.size());
}

}  // namespace covrilo::test
