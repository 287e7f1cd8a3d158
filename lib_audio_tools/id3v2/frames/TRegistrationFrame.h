// SPDX-License-Identifier: MIT
// Shared body of the two registration frames "GRID" and "ENCR": an owner identifier, a
// symbol (the group symbol or the encryption method symbol that other frames carry), and data.
#pragma once

#include <string>

#include "id3v2/frames/TBaseDataFrame.h"

namespace covrilo {

class TRegistrationFrame : public TBaseDataFrame {
   public:
    uint32_t GetDataSize(uint16_t Version) override;
    bool LoadFromStream(TStream& Stream, uint16_t Version) override;
    bool SaveToStream(TStream& Stream, uint16_t Version) override;
    // 2.4 reserves the symbols 0x80..0xF0; any other symbol cannot be written there.
    uint8_t GetSupportedVersions() override;
    // Data from any data frame; owner identifier and symbol too from the same kind of frame.
    bool Assign(const TBaseFrame& Source) override;

    void SetOwnerID(const std::string& Value);
    void SetSymbol(uint8_t Value);

    std::string OwnerID;
    uint8_t Symbol = 0;

   protected:
    TRegistrationFrame() = default;
    void ClearFields() override;
    void ParseFields(std::span<const uint8_t> Content, uint16_t Version) override;
    std::vector<uint8_t> RenderFields(uint16_t Version) override;
};

}  // namespace covrilo
