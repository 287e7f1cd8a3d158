// SPDX-License-Identifier: MIT
// A frame whose content starts with a text-encoding byte.
#pragma once

#include "id3v2/frames/TBaseFrame.h"

namespace covrilo {

class TEncodingFrame : public TBaseFrame {
   public:
    TEncodingFrame() = default;

    // The encoding byte; raises EID3LibTextEncodingInvalid when Encoding is teUnknown.
    uint32_t GetDataSize(uint16_t Version) override;
    // Adjusts the encoding to Version; derived classes write header and content.
    bool SaveToStream(TStream& Stream, uint16_t Version) override;
    // Below 2.4 only ISO-8859-1 and UTF-16 with a byte-order mark exist: teUTF16BE and
    // teUTF8 become teUTF16.
    virtual void AdjustEncoding(uint16_t Version);
    // The encoding AdjustEncoding would leave, without changing the frame.
    TTextEncoding AdjustedEncoding(uint16_t Version) const;

    TTextEncoding Encoding = teUTF16BE;
    // UTF-16 is written big-endian after FE FF when true, little-endian after FF FE otherwise.
    bool BigEndian = true;

   protected:
    // Rendering from the values writes the encoding of Version.
    void PrepareRender(uint16_t Version) override;
    // The encoding byte RenderFields writes for Version: the adjusted encoding; raises
    // EID3LibTextEncodingInvalid for teUnknown.
    TTextEncoding RenderedEncoding(uint16_t Version) const;
    // Content read in one version is valid in another while its encoding byte exists there
    // (2.2 and 2.3 know ISO-8859-1 and UTF-16 only).
    bool LayoutFits(uint8_t FromMajor, uint8_t ToMajor) const override;
    std::string RenderProblem(uint16_t Version) override;
    // The encoding byte of the content as read (teUnknown when it was none of 0..3).
    TTextEncoding originalEncoding_ = teUnknown;
    // Notes the bytes of a text read in Encoding: UTF-8 that is not well-formed cannot be
    // re-encoded without changing it.
    void NoteTextBytes(std::span<const uint8_t> Bytes);
    bool textsConvertible_ = true;
    // Reads the encoding byte that starts the content and takes it off Rest. A frame
    // without content has none and reads as ISO-8859-1 (Rest becomes 0).
    void ReadEncodingByte(TStream& Stream, int64_t& Rest);
    // The same over content in memory: the first byte, or ISO-8859-1 for empty content.
    // Also remembers it as OriginalEncoding. Returns the bytes after it.
    std::span<const uint8_t> TakeEncodingByte(std::span<const uint8_t> Content);
    // Some writers end a description with two terminators. After a description, one more
    // whole zero unit still inside the content is taken as such and skipped.
    void SkipStrayTerminator(TStream& Stream, int64_t& Rest) const;
};

}  // namespace covrilo
