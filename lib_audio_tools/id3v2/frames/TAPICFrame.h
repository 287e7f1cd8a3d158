// SPDX-License-Identifier: MIT
// "APIC" (2.2: "PIC"): one attached picture, or a link to one by URL.
//
// Content: encoding byte | MIME type, ISO-8859-1 with terminator (2.2: three-letter image
// format, no terminator) | picture type | description in the encoding with terminator |
// image bytes. A linked picture has the MIME type "-->" and the URL in place of the image.
#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "id3v2/frames/TEncodingFrame.h"

namespace covrilo {

class TAPICFrame : public TEncodingFrame {
   public:
    TAPICFrame();

    uint32_t GetDataSize(uint16_t Version) override;
    bool LoadFromStream(TStream& Stream, uint16_t Version) override;
    bool SaveToStream(TStream& Stream, uint16_t Version) override;
    // From another picture frame: the link or the MIME type and image bytes (description,
    // picture type and encoding stay).
    bool Assign(const TBaseFrame& Source) override;

    // Takes a JPEG, PNG, GIF, BMP or TIFF file whole. False (frame unchanged) when the file
    // does not exist or is of no kind recognised; a file shorter than 18 bytes raises.
    bool LoadPictureFromFile(const std::filesystem::path& FileName);
    // The MIME type of an image by its first bytes (at least 18) and its size; "" if unknown.
    static std::string DetectImageMimeType(std::span<const uint8_t> Head, uint64_t FileSize);

    // Compared ignoring case; stored in lower case.
    void SetMIMEType(const std::string& Value);
    void SetPictureType(uint8_t Value);
    void SetDescription(std::u16string_view Value);
    // Replaces the image bytes with the whole of Stream (from its start; its position is kept).
    void SetPictureData(TStream& Stream);
    // A copy of the image bytes, owned by the caller.
    std::unique_ptr<TMemoryStream> GetPictureData() const;
    // Switching to a link drops the image bytes and the MIME type; Modified is not touched.
    void SetLinked(bool Value);
    void SetLinkURL(const std::string& Value);
    // "Cover (front)" for 3; "" for a type without a name.
    std::string PictureTypeName() const;

    std::string MIMEType;     // empty for a linked picture
    uint8_t PictureType = 0;  // 0..20 by the standard; any other value is kept as stored
    std::u16string Description;
    TMemoryStream PictureData;  // empty for a linked picture
    bool Linked = false;
    std::string LinkURL;

   protected:
    bool LayoutFits(uint8_t FromMajor, uint8_t ToMajor) const override;
    void ClearFields() override;
    void ParseFields(std::span<const uint8_t> Content, uint16_t Version) override;
    std::vector<uint8_t> RenderFields(uint16_t Version) override;
    // The image; a link has none.
    std::span<const uint8_t> ContentTail() const override {
        return Linked ? std::span<const uint8_t>() : std::span<const uint8_t>(PictureData.Data());
    }
};

}  // namespace covrilo
