// SPDX-License-Identifier: MIT
// Base of the frames that carry binary data: private, group and encryption registrations,
// and frames of a kind the engine does not know.
#pragma once

#include "id3v2/frames/TBaseFrame.h"

namespace covrilo {

class TBaseDataFrame : public TBaseFrame {
   public:
    TBaseDataFrame() = default;

    // From any data frame: its data.
    bool Assign(const TBaseFrame& Source) override;
    // Replaces Data with the whole of Stream (from its start; its position is kept), or
    // empties it for no stream.
    virtual void SetData(TStream* Stream);
    // Replaces the content of Stream with a copy of Data; both stand at their start
    // afterwards. False for no stream.
    virtual bool GetData(TStream* Stream);

    TMemoryStream Data;

   protected:
    std::span<const uint8_t> ContentTail() const override { return Data.Data(); }
    // Data := the next Count bytes of Stream (fewer when the stream ends), positioned at 0.
    void ReadData(TStream& Stream, int64_t Count);
};

}  // namespace covrilo
