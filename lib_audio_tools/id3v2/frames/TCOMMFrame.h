// SPDX-License-Identifier: MIT
// "COMM": a comment with a language, a short description and the text.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "id3v2/frames/TEncodingFrame.h"

namespace covrilo {

class TCOMMFrame : public TEncodingFrame {
   public:
    TCOMMFrame();

    uint32_t GetDataSize(uint16_t Version) override;
    bool LoadFromStream(TStream& Stream, uint16_t Version) override;
    bool SaveToStream(TStream& Stream, uint16_t Version) override;
    // From a comment frame: language and text (not the description). From an ID3v1
    // record: its comment as the text.
    bool Assign(const TBaseFrame& Source) override;

    void SetText(std::u16string_view Value);
    void SetDescription(std::u16string_view Value);
    // Ignored unless Value has at least three characters; takes the first three.
    void SetLanguage(std::string_view Value);
    // The three language bytes as stored (three zero bytes for a new frame).
    std::string Language() const { return std::string(FLanguage.data(), FLanguage.size()); }

    std::array<char, 3> FLanguage{};
    std::u16string Description;
    std::u16string Text;
    // Strings after the text (a multi-value comment), written back after it.
    std::vector<std::u16string> MoreTexts;

   protected:
    void ClearFields() override;
    void ParseFields(std::span<const uint8_t> Content, uint16_t Version) override;
    std::vector<uint8_t> RenderFields(uint16_t Version) override;
};

}  // namespace covrilo
