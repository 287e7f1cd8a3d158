// SPDX-License-Identifier: MIT
// A frame with a text-encoding byte whose fields the engine does not model one by one:
// lyrics ("USLT"), synchronised lyrics ("SYLT"), terms of use ("USER"), objects ("GEOB"),
// commercial and ownership frames ("COMR", "OWNE"), involved people ("IPLS"), and iTunes'
// grouping and movement frames ("GRP1", "MVNM", "MVIN"). Its content is kept byte for byte;
// only when the target version lacks its encoding (UTF-8 and UTF-16BE exist in 2.4 alone)
// are its texts re-encoded as UTF-16, field by field after the frame's layout.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "id3v2/frames/TEncodingFrame.h"

namespace covrilo {

class TEncodedFrame : public TEncodingFrame {
   public:
    // The identifier starts as the placeholder "UKWN"; the factory sets the real one.
    TEncodedFrame();

    // Whether ID (2.3/2.4 form) names a frame of this kind.
    static bool HasLayout(std::string_view ID);
    // Every identifier of this kind.
    static std::vector<std::string_view> LayoutIDs();

    uint32_t GetDataSize(uint16_t Version) override;
    bool LoadFromStream(TStream& Stream, uint16_t Version) override;
    bool SaveToStream(TStream& Stream, uint16_t Version) override;

    // The content as read (encoding byte first; compressed content inflated).
    const std::vector<uint8_t>& Content() const { return plain_; }

   protected:
    std::string RenderProblem(uint16_t Version) override;
    void ClearFields() override;
    void ParseFields(std::span<const uint8_t> Content, uint16_t Version) override;
    // The content for Version; raises when it would have to be guessed.
    std::vector<uint8_t> RenderFields(uint16_t Version) override;
    // Re-encoded content is the frame's content from then on, in the version written.
    void FieldsRendered(std::span<const uint8_t> Fields, uint16_t Version) override;

   private:
    // The content for Version: as read when valid there, else re-encoded; nothing when the
    // layout does not match the bytes.
    std::optional<std::vector<uint8_t>> ContentFor(uint16_t Version) const;

    std::vector<uint8_t> plain_;
};

}  // namespace covrilo
