// SPDX-License-Identifier: MIT
// Text frames: every identifier beginning with 'T', "TXXX" included.
#pragma once

#include <string>
#include <vector>

#include "id3v2/frames/TEncodingFrame.h"

namespace covrilo {

class TTxxxFrame : public TEncodingFrame {
   public:
    // The identifier starts as the placeholder "Txxx", which must be replaced before saving.
    TTxxxFrame();

    uint32_t GetDataSize(uint16_t Version) override;
    bool LoadFromStream(TStream& Stream, uint16_t Version) override;
    bool SaveToStream(TStream& Stream, uint16_t Version) override;
    // From a text frame: encoding and all strings. From an ID3v1 record: the field that
    // matches this frame's identifier.
    bool Assign(const TBaseFrame& Source) override;

    void SetText(std::u16string_view NewText);

    // The first string of the frame (a "TXXX" description, or the first value).
    std::u16string Text;
    // Every string after the first ("TXXX" value, further values of a multi-value frame),
    // written back after Text with the same terminator.
    std::vector<std::u16string> MoreTexts;

   protected:
    void ClearFields() override;
    void ParseFields(std::span<const uint8_t> Content, uint16_t Version) override;
    std::vector<uint8_t> RenderFields(uint16_t Version) override;
};

}  // namespace covrilo
