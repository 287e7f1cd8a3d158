// SPDX-License-Identifier: MIT
// A frame of a kind the engine does not interpret: its content is kept byte for byte.
#pragma once

#include "id3v2/frames/TBaseDataFrame.h"

namespace covrilo {

class TUnknownFrame : public TBaseDataFrame {
   public:
    // The identifier starts as the placeholder "UKWN"; the factory sets the real one.
    TUnknownFrame();

    uint32_t GetDataSize(uint16_t Version) override;
    // Raises EID3LibLoadException when the stream ends before the content does.
    bool LoadFromStream(TStream& Stream, uint16_t Version) override;
    bool SaveToStream(TStream& Stream, uint16_t Version) override;
    std::string CarryProblem(uint16_t Version) override;

   protected:
    // Data is the content as stored (compressed or encrypted too): its flags stay with it.
    void PrepareRender(uint16_t) override {}
    // Nothing in front of Data; raises where the stored form cannot be marked.
    std::vector<uint8_t> RenderFields(uint16_t Version) override;
};

}  // namespace covrilo
