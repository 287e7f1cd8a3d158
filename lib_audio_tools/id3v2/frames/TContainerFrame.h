// SPDX-License-Identifier: MIT
// Base of the chapter frames "CHAP" and "CTOC": fields of their own, then frames of their
// own (a chapter's title, its picture), in the frame layout of the tag's version. In
// another version the fields are written as they are and every sub-frame is written in
// that version's layout; in the same version an unchanged frame is written as it was read.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "id3v2/ID3v2FrameWalk.h"
#include "id3v2/frames/TBaseFrame.h"

namespace covrilo {

class TContainerFrame : public TBaseFrame {
   public:
    uint32_t GetDataSize(uint16_t Version) override;
    bool LoadFromStream(TStream& Stream, uint16_t Version) override;
    bool SaveToStream(TStream& Stream, uint16_t Version) override;
    std::string CarryProblem(uint16_t Version) override;
    void PrepareSave(uint16_t Version) override;
    void SetFileOffset(int64_t Offset) override;

    std::vector<std::unique_ptr<TBaseFrame>> SubFrames;
    // How the walk over the sub-frames went; an incomplete one leaves the frame writable
    // only as it was read.
    TFrameWalk SubFrameWalk;

   protected:
    TContainerFrame();
    bool OriginalFits(uint16_t Version) const override;
    void ClearFields() override;
    // The own fields, then the sub-frames.
    void ParseFields(std::span<const uint8_t> Content, uint16_t Version) override;
    // The frame's own fields, in front of the sub-frames: parsed from the start of the
    // content (false when they do not fit it; the frame is then writable only as read), and
    // rendered.
    virtual bool ParseOwnFields(std::span<const uint8_t> Content, size_t& Used) = 0;
    virtual std::vector<uint8_t> RenderOwnFields() const = 0;

    // ISO-8859-1 string with its terminator at Pos; false when it has none.
    static bool TakeLatin1(std::span<const uint8_t> Content, size_t& Pos, std::string& Text);
    static bool TakeBE32(std::span<const uint8_t> Content, size_t& Pos, uint32_t& Value);

   private:
    // The sub-frames in the order they are written: raw frames that readers stop at last.
    std::vector<TBaseFrame*> WrittenSubFrames() const;
    bool SubFramesChanged() const;

    size_t loadedSubFrames_ = 0;
    size_t subFrameStart_ = 0;              // offset of the sub-frames in the frame, header included
    std::vector<int64_t> subFrameOffsets_;  // of each loaded sub-frame in the sub-frame area
};

}  // namespace covrilo
