// SPDX-License-Identifier: MIT
#include "formats/APETag.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>

#include "io/AsciiText.h"
#include "io/ByteCursor.h"
#include "io/EnhancedStreams.h"
#include "io/FileTransaction.h"

namespace covrilo {

namespace {

constexpr std::string_view kPreamble = "APETAGEX";
constexpr int64_t kFooterSize = 32;
constexpr int64_t kRecordSize = 128;
constexpr uint32_t kVersion2 = 2000;
constexpr uint32_t kFlagHasHeader = 0x80000000u;
constexpr uint32_t kFlagIsHeader = 0x20000000u;
// Smallest item: value size, flags, one key byte... the key may be empty on damaged
// files, so count the terminating zero only.
constexpr int64_t kMinItemSize = 9;

void AppendHeaderOrFooter(std::vector<uint8_t>& Out, uint32_t TagSize, uint32_t Count, uint32_t Flags) {
    Out.insert(Out.end(), kPreamble.begin(), kPreamble.end());
    AppendU32LE(Out, kVersion2);
    AppendU32LE(Out, TagSize);
    AppendU32LE(Out, Count);
    AppendU32LE(Out, Flags);
    Out.insert(Out.end(), 8, 0);
}

}  // namespace

bool TAPETag::TFooterScan::HasFooter() const {
    return std::memcmp(Footer.data(), kPreamble.data(), kPreamble.size()) == 0;
}

void TAPETag::ResetData() {
    Fields.clear();
    Exists = false;
    Version = 0;
    TagSize = 0;
}

bool TAPETag::IsValidKey(std::string_view Key) {
    if (Key.size() < 2 || Key.size() > 255) return false;
    for (char c : Key)
        if (c < 0x20 || c > 0x7E) return false;
    return Key != "ID3" && Key != "TAG" && Key != "OggS" && Key != "MP+";
}

std::string TAPETag::GetValue(std::string_view Name) const {
    for (const auto& [name, value] : Fields)
        if (EqualsNoCase(name, Name)) return value;
    return {};
}

void TAPETag::AppendField(std::string_view Name, std::string_view Value) {
    Fields.emplace_back(std::string(Name), std::string(Value));
}

bool TAPETag::ScanFooter(TStream& Stream, TFooterScan& Scan) {
    Scan = TFooterScan{};
    Scan.FileSize = Stream.Size();
    if (Scan.FileSize >= kRecordSize + 1) {
        auto tag = Stream.ReadBytesAt(Scan.FileSize - kRecordSize, 3);
        if (tag && std::memcmp(tag->data(), "TAG", 3) == 0) Scan.DataShift = kRecordSize;
    }
    const int64_t footerPos = Scan.FileSize - Scan.DataShift - kFooterSize;
    if (footerPos <= 0) return false;
    auto footer = Stream.ReadBytesAt(footerPos, kFooterSize);
    if (!footer) return false;
    std::copy(footer->begin(), footer->end(), Scan.Footer.begin());
    return true;
}

void TAPETag::ReadItems(TStream& Stream, const TFooterScan& Scan, uint32_t ItemCount) {
    const int64_t regionEnd = Scan.FileSize - Scan.DataShift - kFooterSize;
    // A tag size that does not fit in front of the footer says nothing about the items.
    if (TagSize < kFooterSize || TagSize - kFooterSize > regionEnd) return;
    int64_t pos = regionEnd - (TagSize - kFooterSize);
    Fields.reserve(static_cast<size_t>(std::min<int64_t>(ItemCount, (regionEnd - pos) / kMinItemSize)));

    for (uint32_t i = 0; i < ItemCount; ++i) {
        if (regionEnd - pos < kMinItemSize) break;
        auto head = Stream.ReadBytesAt(pos, 8);
        if (!head) break;
        const uint32_t valueSize = U32LEAt(*head, 0);
        const uint32_t flags = U32LEAt(*head, 4);
        pos += 8;

        // The key runs up to its zero byte, which must lie inside the tag.
        std::string key;
        bool terminated = false;
        while (!terminated && pos < regionEnd) {
            auto chunk = Stream.ReadBytesAt(pos, std::min<int64_t>(256, regionEnd - pos));
            if (!chunk) return;
            auto zero = std::find(chunk->begin(), chunk->end(), uint8_t{0});
            key.append(chunk->begin(), zero);
            pos += zero - chunk->begin();
            if (zero != chunk->end()) {
                terminated = true;
                ++pos;
            }
        }
        if (!terminated || valueSize > regionEnd - pos) break;

        std::string value;
        const bool binary = ((flags >> 1) & 3u) == 1u;
        if (!binary) {
            auto bytes = Stream.ReadBytesAt(pos, valueSize);
            if (!bytes) break;
            value = Trim(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
        }
        pos += valueSize;
        Fields.emplace_back(Trim(key), std::move(value));
    }
}

bool TAPETag::ReadFromFile(const std::filesystem::path& FileName) {
    ResetData();
    try {
        TUnicodeFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
        TFooterScan scan;
        if (!ScanFooter(stream, scan)) return false;
        if (scan.HasFooter()) {
            Exists = true;
            Version = U32LEAt(scan.Footer, 8);
            TagSize = U32LEAt(scan.Footer, 12);
            try {
                ReadItems(stream, scan, U32LEAt(scan.Footer, 16));
            } catch (...) {
                // A read error inside the items keeps what was read before it.
            }
        }
        return true;
    } catch (...) {
        return false;
    }
}

std::vector<uint8_t> TAPETag::BuildTag() const {
    uint64_t tagSize = kFooterSize;
    for (const auto& [name, value] : Fields) {
        if (!IsValidKey(name)) return {};
        tagSize += 9 + name.size() + value.size();
    }
    // Sizes are 32-bit on disk; the header comes on top of the tag size.
    if (tagSize + kFooterSize > std::numeric_limits<uint32_t>::max() ||
        Fields.size() > std::numeric_limits<uint32_t>::max())
        return {};

    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(tagSize + kFooterSize));
    const auto size32 = static_cast<uint32_t>(tagSize);
    const auto count32 = static_cast<uint32_t>(Fields.size());
    AppendHeaderOrFooter(out, size32, count32, kFlagHasHeader | kFlagIsHeader);
    for (const auto& [name, value] : Fields) {
        AppendU32LE(out, static_cast<uint32_t>(value.size()));
        AppendU32LE(out, 0);
        out.insert(out.end(), name.begin(), name.end());
        out.push_back(0);
        out.insert(out.end(), value.begin(), value.end());
    }
    AppendHeaderOrFooter(out, size32, count32, kFlagHasHeader);
    return out;
}

bool TAPETag::SaveTag(const std::filesystem::path& FileName) {
    std::vector<uint8_t> bytes = BuildTag();
    if (bytes.empty()) return false;

    // One transaction for finding, cutting and writing: nobody sees a file without tag, and
    // a failure or crash on the way leaves the old tag (see io/FileTransaction.h).
    TFileTransaction transaction(FileName);
    THandleStream& stream = transaction.Stream();
    TFooterScan scan;
    bool result = false;
    try {
        result = ScanFooter(stream, scan);
    } catch (...) {
        result = false;
    }

    int64_t cutPos = stream.Size();
    if (result && (scan.DataShift == kRecordSize || scan.HasFooter())) {
        if (scan.DataShift == kRecordSize) {
            auto record = stream.ReadBytesAt(scan.FileSize - kRecordSize, kRecordSize);
            if (!record) throw std::runtime_error("Cannot read the ID3v1 record of " + FileName.string());
            bytes.insert(bytes.end(), record->begin(), record->end());
        }
        if (scan.HasFooter()) {
            const int64_t footerPos = scan.FileSize - scan.DataShift - kFooterSize;
            const uint32_t oldSize = U32LEAt(scan.Footer, 12);
            // Where a damaged tag starts is unknown; guessing would cut into the audio.
            if (oldSize < kFooterSize || oldSize - kFooterSize > footerPos) return false;
            cutPos = footerPos - (oldSize - kFooterSize);
            // Cut the header only where one really is, whatever the footer's flag claims.
            if (cutPos >= kFooterSize) {
                auto header = stream.ReadBytesAt(cutPos - kFooterSize, kFooterSize);
                if (header && std::memcmp(header->data(), kPreamble.data(), kPreamble.size()) == 0 &&
                    (U32LEAt(*header, 20) & kFlagIsHeader) != 0)
                    cutPos -= kFooterSize;
            }
        } else {
            cutPos = scan.FileSize - kRecordSize;
        }
    }

    transaction.CommitInPlace({TSplice{cutPos, stream.Size() - cutPos, std::move(bytes)}});
    return result;
}

}  // namespace covrilo
