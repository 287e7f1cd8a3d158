// SPDX-License-Identifier: MIT
// The demo cover: a colour pattern encoded as a baseline JPEG with libjpeg.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace covrilo::demo {

// Larger than the default 500 x 500 limit, so that the demo run shows the scaling.
inline constexpr int kCoverWidth = 1200;
inline constexpr int kCoverHeight = 900;

// JPEG bytes of a width x height RGB pattern (diagonal gradients with a grid).
std::vector<uint8_t> MakeCoverJpeg(int Width, int Height, int Quality = 90);

}  // namespace covrilo::demo
