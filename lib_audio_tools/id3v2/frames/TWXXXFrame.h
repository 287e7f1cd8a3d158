// SPDX-License-Identifier: MIT
// "WXXX": a user-defined URL link with a description.
#pragma once

#include <string>

#include "id3v2/frames/TEncodingFrame.h"

namespace covrilo {

class TWXXXFrame : public TEncodingFrame {
   public:
    TWXXXFrame();

    uint32_t GetDataSize(uint16_t Version) override;
    bool LoadFromStream(TStream& Stream, uint16_t Version) override;
    bool SaveToStream(TStream& Stream, uint16_t Version) override;
    // The URL of another URL frame ("WXXX" or "W..."); the description stays.
    bool Assign(const TBaseFrame& Source) override;

    void SetURL(const std::string& Value);
    void SetDescription(std::u16string_view Value);

    std::u16string Description;  // written in Encoding
    std::string URL;             // always ISO-8859-1

   protected:
    void ClearFields() override;
    void ParseFields(std::span<const uint8_t> Content, uint16_t Version) override;
    std::vector<uint8_t> RenderFields(uint16_t Version) override;
};

}  // namespace covrilo
