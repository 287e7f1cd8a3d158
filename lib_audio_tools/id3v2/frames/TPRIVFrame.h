// SPDX-License-Identifier: MIT
// "PRIV": an owner identifier and private binary data.
#pragma once

#include <string>

#include "id3v2/frames/TBaseDataFrame.h"

namespace covrilo {

class TPRIVFrame : public TBaseDataFrame {
   public:
    TPRIVFrame();

    uint32_t GetDataSize(uint16_t Version) override;
    bool LoadFromStream(TStream& Stream, uint16_t Version) override;
    bool SaveToStream(TStream& Stream, uint16_t Version) override;
    // Data from any data frame; the owner identifier too from another "PRIV" frame.
    bool Assign(const TBaseFrame& Source) override;

    void SetOwnerID(const std::string& Value);

    std::string OwnerID;

   protected:
    void ClearFields() override;
    void ParseFields(std::span<const uint8_t> Content, uint16_t Version) override;
    std::vector<uint8_t> RenderFields(uint16_t Version) override;
};

}  // namespace covrilo
