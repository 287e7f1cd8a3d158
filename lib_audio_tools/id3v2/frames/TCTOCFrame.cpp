// SPDX-License-Identifier: MIT
#include "id3v2/frames/TCTOCFrame.h"

namespace covrilo {

TCTOCFrame::TCTOCFrame() { SetFrameID("CTOC"); }

bool TCTOCFrame::ParseOwnFields(std::span<const uint8_t> Content, size_t& Used) {
    Used = 0;
    ChildElementIDs.clear();
    if (!TakeLatin1(Content, Used, ElementID) || Content.size() - Used < 2) return false;
    Flags = Content[Used];
    const uint8_t count = Content[Used + 1];
    Used += 2;
    for (uint8_t i = 0; i < count; ++i) {
        std::string child;
        if (!TakeLatin1(Content, Used, child)) return false;
        ChildElementIDs.push_back(std::move(child));
    }
    return true;
}

std::vector<uint8_t> TCTOCFrame::RenderOwnFields() const {
    std::vector<uint8_t> out(ElementID.begin(), ElementID.end());
    out.push_back(0);
    out.push_back(Flags);
    out.push_back(static_cast<uint8_t>(ChildElementIDs.size()));
    for (const std::string& child : ChildElementIDs) {
        out.insert(out.end(), child.begin(), child.end());
        out.push_back(0);
    }
    return out;
}

}  // namespace covrilo
