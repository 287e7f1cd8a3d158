// SPDX-License-Identifier: MIT
// The APE tag at the end of a file, in front of an optional ID3v1 record: read into a list
// of name/value pairs, replaced by a new version 2.0 tag. Names and values are raw bytes;
// the caller converts values from and to UTF-8.
//
// Tail of a file:  audio | [header 32] | items | footer 32 | [ID3v1 record 128]
// Header/footer (little-endian): "APETAGEX", version (1000/2000), tag size (items + footer),
//   item count, flags (bit 31 tag has a header, bit 29 this is the header), 8 zero bytes.
// Item: value size (4), flags (4; bits 1-2: 0 text, 1 binary, 2 locator), key, 0, value.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace covrilo {

class TStream;

class TAPETag {
   public:
    using TAPEField = std::pair<std::string, std::string>;  // name, value

    TAPETag() = default;

    std::vector<TAPEField> Fields;  // in file order
    bool Exists = false;
    uint32_t Version = 0;
    uint32_t TagSize = 0;  // items + footer, as the footer says

    void ResetData();
    // Answers whether the footer could be read; Exists tells whether there is a tag.
    // Never raises: a damaged tag gives the items read before the damage.
    bool ReadFromFile(const std::filesystem::path& FileName);
    // Value of the first item whose name matches regardless of ASCII case; empty if none.
    std::string GetValue(std::string_view Name) const;
    void AppendField(std::string_view Name, std::string_view Value);
    // Replaces the file's APE tag by one made from Fields, keeping an ID3v1 record last.
    // Answers false without touching the file when Fields cannot be written as a valid tag
    // or the old tag is too damaged to tell where it starts; false also (after appending)
    // when the file is too short to hold a footer. Open and write errors are raised.
    bool SaveTag(const std::filesystem::path& FileName);

    // The tag bytes SaveTag writes (header, items, footer); empty when not representable.
    std::vector<uint8_t> BuildTag() const;
    // A key readers accept: 2..255 printable ASCII characters, not a reserved word.
    static bool IsValidKey(std::string_view Key);

   private:
    struct TFooterScan {
        std::array<uint8_t, 32> Footer{};
        int64_t DataShift = 0;  // 128 when an ID3v1 record ends the file
        int64_t FileSize = 0;
        bool HasFooter() const;
    };
    static bool ScanFooter(TStream& Stream, TFooterScan& Scan);
    void ReadItems(TStream& Stream, const TFooterScan& Scan, uint32_t ItemCount);
};

}  // namespace covrilo
