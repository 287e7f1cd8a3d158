// SPDX-License-Identifier: MIT
#include "formats/VorbisComment.h"

#include <limits>

#include "io/AsciiText.h"
#include "io/ByteCursor.h"

namespace covrilo {

TVorbisComment ParseVorbisComment(std::span<const uint8_t> Data) {
    TVorbisComment comment;
    TByteCursor c(Data);
    auto vendorLength = c.U32LE();
    if (!vendorLength) return comment;
    comment.Vendor = c.Bytes(*vendorLength);
    if (!comment.Vendor) return comment;
    comment.Count = c.U32LE();
    if (!comment.Count) return comment;
    comment.End = c.Pos();
    for (uint32_t i = 0; i < *comment.Count; ++i) {
        auto length = c.U32LE();
        if (!length) return comment;
        auto entry = c.Bytes(*length);
        if (!entry) return comment;
        comment.Entries.push_back(*entry);
        comment.End = c.Pos();
    }
    comment.Complete = true;
    return comment;
}

std::optional<TVorbisEntry> SplitVorbisEntry(std::string_view Entry) {
    const size_t eq = Entry.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return TVorbisEntry{UpperAscii(Entry.substr(0, eq)), Entry.substr(eq + 1)};
}

bool AppendVorbisComment(std::vector<uint8_t>& Out, std::string_view Vendor,
                         std::span<const std::string> Entries) {
    constexpr size_t kMax = std::numeric_limits<uint32_t>::max();
    if (Vendor.size() > kMax || Entries.size() > kMax) return false;
    for (const std::string& e : Entries)
        if (e.size() > kMax) return false;
    AppendU32LE(Out, static_cast<uint32_t>(Vendor.size()));
    Out.insert(Out.end(), Vendor.begin(), Vendor.end());
    AppendU32LE(Out, static_cast<uint32_t>(Entries.size()));
    for (const std::string& e : Entries) {
        AppendU32LE(Out, static_cast<uint32_t>(e.size()));
        Out.insert(Out.end(), e.begin(), e.end());
    }
    return true;
}

}  // namespace covrilo
