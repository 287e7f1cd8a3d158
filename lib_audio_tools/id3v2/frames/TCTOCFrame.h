// SPDX-License-Identifier: MIT
// "CTOC": a table of contents: an element identifier, flags (0x02 top level, 0x01 ordered),
// the element identifiers of its entries (chapters or tables), then frames of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "id3v2/frames/TContainerFrame.h"

namespace covrilo {

class TCTOCFrame : public TContainerFrame {
   public:
    TCTOCFrame();

    std::string ElementID;
    uint8_t Flags = 0;
    std::vector<std::string> ChildElementIDs;

   protected:
    bool ParseOwnFields(std::span<const uint8_t> Content, size_t& Used) override;
    std::vector<uint8_t> RenderOwnFields() const override;
};

}  // namespace covrilo
