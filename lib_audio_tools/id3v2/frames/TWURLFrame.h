// SPDX-License-Identifier: MIT
// URL link frames: every identifier beginning with 'W' except "WXXX".
#pragma once

#include <string>

#include "id3v2/frames/TBaseFrame.h"

namespace covrilo {

class TWURLFrame : public TBaseFrame {
   public:
    // The identifier starts as the placeholder "Wxxx", which must be replaced before saving.
    TWURLFrame();

    uint32_t GetDataSize(uint16_t Version) override;
    bool LoadFromStream(TStream& Stream, uint16_t Version) override;
    bool SaveToStream(TStream& Stream, uint16_t Version) override;
    // The URL of another URL frame ("W..." or "WXXX").
    bool Assign(const TBaseFrame& Source) override;

    void SetURL(const std::string& Value);

    std::string URL;

   protected:
    void ClearFields() override;
    void ParseFields(std::span<const uint8_t> Content, uint16_t Version) override;
    std::vector<uint8_t> RenderFields(uint16_t Version) override;
};

// The URL of a link frame of either kind ("W..." or "WXXX"); nullptr for any other frame.
const std::string* LinkURLOf(const TBaseFrame& Frame);

}  // namespace covrilo
