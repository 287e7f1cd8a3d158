// SPDX-License-Identifier: MIT
// Ogg Vorbis: stream parameters from the identification header and the comment header,
// read and rewritten. A save rewrites only the Ogg page that carries the comment packet
// (the second page), through a temporary file named after the file with "~" appended.
//
// Layout used here:
//   [optional ID3v2 tag] page 1: "OggS" header (27 bytes) + segment table + the 30-byte
//   identification packet ("\x01vorbis", channels at 11, rate at 12, nominal rate at 20)
//   page 2: header + segment table + comment packet ("\x03vorbis", vendor length (LE32),
//   vendor, entry count (LE32), entries "KEY=value" each after its LE32 length, framing
//   byte), usually followed by the setup packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace covrilo {

// One comment entry: the key (upper-cased; empty for the vendor entry) and its value.
class TOggField {
   public:
    TOggField() = default;
    TOggField(std::string FieldName, std::u16string FieldValue)
        : Name(std::move(FieldName)), Value(std::move(FieldValue)) {}

    std::string Name;
    std::u16string Value;
};

using TTagFields = std::vector<TOggField>;

// CRC-32 of Ogg pages: polynomial 0x04C11DB7, most significant bit first, initial value
// 0, no final inversion. Crc continues an earlier computation over preceding bytes.
uint32_t OggCRC32(std::span<const uint8_t> Data, uint32_t Crc = 0);

class TOggVorbis {
   public:
    TOggVorbis();

    // Comment entries in file order; after a read element 0 is the vendor entry.
    TTagFields Fields;
    int64_t FileSize = 0;
    uint8_t Channels = 0;
    int SampleRate = 0;
    uint16_t BitRateNominal = 0;  // kbit/s
    int64_t Samples = 0;          // granule position of the last page
    int64_t ID3v2Size = 0;
    std::string VendorInfo;

    void ResetData();
    // False when the file is not an Ogg Vorbis stream; file errors raise.
    bool ReadFromFile(const std::filesystem::path& FileName);
    // Writes Fields as the file's comment header. The file's own comments are kept after
    // the given ones, except those whose key is given (the given values replace them; an
    // empty value removes the key). The vendor text of the file is kept. A comment packet
    // that would not fit into the second page is refused: false, and the file is untouched.
    // Errors while reading the file raise; errors of the rewrite answer false.
    bool SaveTag(const std::filesystem::path& FileName);
    // Why the last SaveTag answered false (empty when it did not get as far as the file).
    std::string LastError;

    double Duration() const;
    int BitRate() const;
    bool IsValid() const;
};

}  // namespace covrilo
