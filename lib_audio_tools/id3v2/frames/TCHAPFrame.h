// SPDX-License-Identifier: MIT
// "CHAP": one chapter: an element identifier, start and end time (ms), start and end byte
// offset (0xFFFFFFFF: not used), then frames of its own (title, picture, ...).
#pragma once

#include <cstdint>
#include <string>

#include "id3v2/frames/TContainerFrame.h"

namespace covrilo {

class TCHAPFrame : public TContainerFrame {
   public:
    TCHAPFrame();

    std::string ElementID;
    uint32_t StartTime = 0;
    uint32_t EndTime = 0;
    uint32_t StartOffset = 0xFFFFFFFF;
    uint32_t EndOffset = 0xFFFFFFFF;

   protected:
    bool ParseOwnFields(std::span<const uint8_t> Content, size_t& Used) override;
    std::vector<uint8_t> RenderOwnFields() const override;
};

}  // namespace covrilo
