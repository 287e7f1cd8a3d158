// SPDX-License-Identifier: MIT
#include "formats/FLACfile.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>

#include "io/EnhancedStreams.h"
#include "io/TextConversion.h"
#include "io/UnicodeFileUtils.h"

namespace covrilo {

namespace {

constexpr std::array<std::string_view, kFLACKeyCount> kKeyNames = {
    "TRACKNUMBER", "ARTIST",       "ALBUM",       "TITLE",    "DATE",      "GENRE", "COMMENT",
    "COMPOSER",    "LANGUAGE",     "COPYRIGHT",   "WWW",      "ENCODEDBY", "TONES", "STYLES",
    "MOOD",        "SITUATION",    "RATING",      "QUALITY",  "TEMPO",     "TYPE",  "PERFORMER",
    "LICENSE",     "ORGANIZATION", "DESCRIPTION", "LOCATION", "CONTACT",   "ISRC",  "LYRICS"};

constexpr std::string_view kDefaultVendor = "reference libFLAC 1.1.0 20030126";
constexpr size_t kHeaderSize = 42;
constexpr uint32_t kMaxBlockLength = 0xFFFFFF;
constexpr uint8_t kTypePadding = 1;
constexpr uint8_t kTypeVorbisComment = 4;
constexpr uint8_t kTypePicture = 6;
constexpr int kTempPadding = 4096;

std::string UpperAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

std::string_view TrimBlank(std::string_view s) {
    while (!s.empty() && static_cast<uint8_t>(s.front()) <= 0x20) s.remove_prefix(1);
    while (!s.empty() && static_cast<uint8_t>(s.back()) <= 0x20) s.remove_suffix(1);
    return s;
}

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<uint8_t>(c) >= 0x80) return false;
    return true;
}

// UTF-8 <-> system code page; ASCII, by far the most common text, is the same in both.
std::string FromUtf8(std::string_view s) { return IsAscii(s) ? std::string(s) : Utf8ToAnsi(s); }
std::string ToUtf8(const std::string& s) { return IsAscii(s) ? s : AnsiToUtf8(s); }

uint32_t LE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLE32(std::vector<uint8_t>& out, uint32_t v) {
    const std::array<uint8_t, 4> bytes = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                                          static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    out.insert(out.end(), bytes.begin(), bytes.end());
}

uint32_t BlockLength(const std::array<uint8_t, 4>& h) {
    return static_cast<uint32_t>(h[1]) << 16 | static_cast<uint32_t>(h[2]) << 8 | h[3];
}

void PutBlockHeader(std::vector<uint8_t>& out, uint8_t first, uint32_t length) {
    out.push_back(first);
    out.push_back(static_cast<uint8_t>(length >> 16));
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(length));
}

// Checked little-endian reader over a byte buffer; never reads past its end.
class TCursor {
   public:
    explicit TCursor(std::span<const uint8_t> data) : data_(data) {}
    size_t Remaining() const { return data_.size() - pos_; }
    std::optional<uint32_t> U32() {
        if (Remaining() < 4) return std::nullopt;
        uint32_t v = LE32(data_.data() + pos_);
        pos_ += 4;
        return v;
    }
    std::optional<std::string_view> Bytes(size_t len) {
        if (len > Remaining()) return std::nullopt;
        std::string_view v(reinterpret_cast<const char*>(data_.data() + pos_), len);
        pos_ += len;
        return v;
    }

   private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

void WriteAll(TStream& s, std::span<const uint8_t> data) {
    if (s.Write(data) != static_cast<int64_t>(data.size())) throw std::runtime_error("short write");
}

void CopyRange(TStream& from, TStream& to, int64_t offset, int64_t count) {
    if (count <= 0) return;
    from.SetPosition(offset);
    if (to.CopyFrom(from, count) != count) throw std::runtime_error("short copy");
}

}  // namespace

TFLACfile::TFLACfile() { ResetData(true, true); }

std::string_view TFLACfile::KeyName(int Key) {
    return Key >= 0 && Key < kFLACKeyCount ? kKeyNames[static_cast<size_t>(Key)] : std::string_view();
}

int TFLACfile::KeyIndex(std::string_view Key) {
    std::string upper = UpperAscii(Key);
    for (int i = 0; i < kFLACKeyCount; ++i)
        if (kKeyNames[static_cast<size_t>(i)] == upper) return i;
    return -1;
}

std::string TFLACfile::GetValue(std::string_view Key) const {
    int index = KeyIndex(Key);
    if (index >= 0) return Values[static_cast<size_t>(index)];
    std::string upper = UpperAscii(Key);
    for (const auto& [key, value] : ExtraFields)
        if (UpperAscii(key) == upper) return value;
    return {};
}

void TFLACfile::SetValue(std::string_view Key, std::string Value) {
    int index = KeyIndex(Key);
    if (index >= 0) {
        Values[static_cast<size_t>(index)] = std::move(Value);
        return;
    }
    std::string upper = UpperAscii(Key);
    for (auto& [key, value] : ExtraFields)
        if (UpperAscii(key) == upper) {
            value = std::move(Value);
            return;
        }
    ExtraFields.emplace_back(upper, std::move(Value));
}

void TFLACfile::ResetData(bool HeaderInfo, bool TagInfo) {
    if (HeaderInfo) {
        Header.fill(0);
        FileName.clear();
        Channels = 0;
        BitsPerSample = 0;
        SampleRate = 0;
        Samples = 0;
        FileSize = 0;
        StreamOffset = 0;
        AudioOffset = 0;
        Bitrate = 0;
        VorbisIndex = 0;
        PaddingIndex = 0;
        VCOffset = 0;
        TagSize = 0;
        PaddingSize = 0;
        PaddingLast = false;
        HasExtraPadding = false;
        OtherBlocks.clear();
        fileEntries_.clear();
    }
    if (TagInfo) {
        VendorInfo.clear();
        TagSize = 0;
        Exists = false;
        for (std::string& v : Values) v.clear();
        ExtraFields.clear();
        valuesFrom_.clear();
    }
}

namespace {

std::filesystem::path SameFileKey(const std::filesystem::path& p) {
    std::error_code ec;
    std::filesystem::path key = std::filesystem::weakly_canonical(p, ec);
    return ec ? p : key;
}

}  // namespace

bool TFLACfile::ReadFromFile(const std::filesystem::path& Name) {
    ResetData(false, true);
    valuesFrom_ = SameFileKey(Name);
    return GetInfo(Name, true);
}

void TFLACfile::ReadComment(const std::vector<uint8_t>& Data, bool ReadValues) {
    TCursor c(Data);
    auto vendorLength = c.U32();
    if (!vendorLength) return;
    auto vendor = c.Bytes(*vendorLength);
    if (!vendor) return;
    VendorInfo = std::string(*vendor);
    auto count = c.U32();
    if (!count) return;
    Exists = *count > 0;
    // Each entry takes at least its 4-byte length: the loop ends with the block's data.
    for (uint32_t i = 0; i < *count; ++i) {
        auto length = c.U32();
        if (!length) break;
        auto entry = c.Bytes(*length);
        if (!entry) break;
        size_t eq = entry->find('=');
        if (eq == std::string_view::npos) continue;
        std::string key = UpperAscii(entry->substr(0, eq));
        std::string_view raw = entry->substr(eq + 1);
        fileEntries_.emplace_back(key, std::string(raw));
        if (!ReadValues) continue;
        std::string value = FromUtf8(raw);
        int index = KeyIndex(key);
        if (index >= 0 && Values[static_cast<size_t>(index)].empty())
            Values[static_cast<size_t>(index)] = std::move(value);
        else
            ExtraFields.emplace_back(std::move(key), std::move(value));
    }
}

bool TFLACfile::GetInfo(const std::filesystem::path& Name, bool ReadValues) {
    ResetData(true, false);
    TUnicodeFileStream s(Name, fmOpenRead | fmShareDenyWrite);
    FileSize = s.Size();
    FileName = Name;
    // A leading ID3v2 tag is skipped; the probe gives 0 for a tag larger than the file.
    ID3v2Probe.ReadFromStream(s);
    StreamOffset = ID3v2Probe.Exists ? ID3v2Probe.Size : 0;

    s.SetPosition(StreamOffset);
    std::vector<uint8_t> head = s.ReadBytes(kHeaderSize);
    std::copy(head.begin(), head.end(), Header.begin());
    if (head.size() < kHeaderSize || std::memcmp(Header.data(), "fLaC", 4) != 0) return false;
    // STREAMINFO must be the first block and 34 bytes long, or the blocks that follow
    // would be looked for in the wrong place.
    if ((Header[4] & 0x7F) != 0 || BlockLength({Header[4], Header[5], Header[6], Header[7]}) != 34)
        return false;

    SampleRate = Header[18] << 12 | Header[19] << 4 | Header[20] >> 4;
    Channels = static_cast<uint8_t>(((Header[20] >> 1) & 7) + 1);
    BitsPerSample = static_cast<uint8_t>(((Header[20] & 1) << 4 | Header[21] >> 4) + 1);
    Samples = int64_t{Header[22]} << 24 | int64_t{Header[23]} << 16 | int64_t{Header[24]} << 8 | Header[25];

    int64_t pos = StreamOffset + static_cast<int64_t>(kHeaderSize);
    if (!(Header[4] & 0x80)) {
        int count = 0;
        bool seenComment = false;
        for (;;) {
            std::array<uint8_t, 4> h{};
            if (FileSize - pos < 4 || s.Read(h.data(), 4) != 4) {
                Samples = 0;  // the metadata ends before its last block
                break;
            }
            pos += 4;
            ++count;
            const uint8_t type = h[0] & 0x7F;
            const bool last = (h[0] & 0x80) != 0;
            const uint32_t length = BlockLength(h);
            if (length > FileSize - pos) {
                Samples = 0;  // a block runs past the end of the file
                break;
            }
            if (type > kTypePicture) {
                Samples = 0;  // reserved or invalid block type
                break;
            }
            std::vector<uint8_t> data = s.ReadBytes(length);
            if (data.size() != length) {
                Samples = 0;
                break;
            }
            if (type == kTypeVorbisComment && !seenComment) {
                seenComment = true;
                VCOffset = pos;
                TagSize = static_cast<int>(length);
                VorbisIndex = count;
                ReadComment(data, ReadValues);
            } else if (type == kTypePadding && PaddingIndex == 0) {
                PaddingSize = static_cast<int>(length);
                PaddingLast = last;
                PaddingIndex = count;
            } else {
                if (type == kTypePadding) HasExtraPadding = true;
                OtherBlocks.push_back({h, std::move(data)});
            }
            pos += length;
            if (last) break;
        }
    }

    if (!IsValid()) return false;
    AudioOffset = pos;
    Bitrate = static_cast<int>(
        std::lround(static_cast<double>(FileSize - AudioOffset) / 1000.0 * 8.0 / Duration()));
    return true;
}

bool TFLACfile::IsValid() const {
    return std::memcmp(Header.data(), "fLaC", 4) == 0 && Channels > 0 && SampleRate > 0 &&
           BitsPerSample > 0 && Samples > 0;
}

double TFLACfile::Duration() const { return IsValid() ? static_cast<double>(Samples) / SampleRate : 0.0; }

bool TFLACfile::SaveToFile(const std::filesystem::path& Name, bool BasicOnly) {
    if (!GetInfo(Name, false)) return false;

    // An unchanged value goes back as the file stored it, so that characters the
    // one-byte fields cannot hold survive a save.
    std::vector<bool> used(fileEntries_.size(), false);
    auto encode = [&](const std::string& key, const std::string& value) {
        for (size_t i = 0; i < fileEntries_.size(); ++i) {
            if (used[i] || fileEntries_[i].first != key) continue;
            if (FromUtf8(fileEntries_[i].second) == value) {
                used[i] = true;
                return fileEntries_[i].second;
            }
        }
        return ToUtf8(value);
    };

    std::vector<std::string> entries;
    const int keyCount = BasicOnly ? kFLACBasicKeyCount : kFLACKeyCount;
    for (int i = 0; i < keyCount; ++i) {
        const std::string& value = Values[static_cast<size_t>(i)];
        if (value.empty()) continue;
        std::string key(kKeyNames[static_cast<size_t>(i)]);
        entries.push_back(key + "=" + encode(key, value));
    }
    if (!BasicOnly) {
        for (const auto& [key, value] : ExtraFields) {
            if (TrimBlank(key).empty() || value.empty() || key.find('=') != std::string::npos) continue;
            entries.push_back(key + "=" + encode(UpperAscii(key), value));
        }
    }

    // A fresh object knows only the keys it sets; the file's other entries stay.
    if (valuesFrom_.empty() || valuesFrom_ != SameFileKey(Name)) {
        std::set<std::string> given;
        for (int i = 0; i < keyCount; ++i)
            if (!Values[static_cast<size_t>(i)].empty())
                given.insert(std::string(kKeyNames[static_cast<size_t>(i)]));
        if (!BasicOnly)
            for (const auto& [key, value] : ExtraFields)
                if (!value.empty()) given.insert(UpperAscii(key));
        for (size_t i = 0; i < fileEntries_.size(); ++i)
            if (!used[i] && !given.contains(fileEntries_[i].first))
                entries.push_back(fileEntries_[i].first + "=" + fileEntries_[i].second);
    }

    const std::string vendor = VendorInfo.empty() ? std::string(kDefaultVendor) : VendorInfo;
    std::vector<uint8_t> data;
    PutLE32(data, static_cast<uint32_t>(vendor.size()));
    data.insert(data.end(), vendor.begin(), vendor.end());
    PutLE32(data, static_cast<uint32_t>(entries.size()));
    for (const std::string& e : entries) {
        if (e.size() > kMaxBlockLength) return false;
        PutLE32(data, static_cast<uint32_t>(e.size()));
        data.insert(data.end(), e.begin(), e.end());
        if (data.size() > kMaxBlockLength) return false;  // the 24-bit length cannot hold it
    }
    if (data.size() > kMaxBlockLength) return false;

    bool ok = WriteCommentBlock(Name, data);
    Exists = ok && !entries.empty();
    return ok;
}

bool TFLACfile::WriteCommentBlock(const std::filesystem::path& Name, const std::vector<uint8_t>& Data) {
    if (!UnicodeFileExists(Name)) return false;
    std::optional<std::filesystem::file_time_type> fileTime;
    std::filesystem::path temp;
    bool created = false;
    try {
        if (KeepFileTime) fileTime = std::filesystem::last_write_time(Name);
        const int64_t newSize = static_cast<int64_t>(Data.size());
        const bool hasComment = VorbisIndex > 0;
        const bool hasPadding = PaddingIndex > 0;
        // Other blocks in their order, padding blocks merged away (their room reclaimed).
        // A second comment block (left by a broken writer) goes after ours, so that ours
        // stays the one readers take.
        std::vector<uint8_t> blocks, laterComments;
        int64_t reclaimed = 0;
        for (const TFLACMetaBlock& b : OtherBlocks) {
            const uint8_t type = b.Header[0] & 0x7F;
            if (type == kTypePadding) {
                reclaimed += static_cast<int64_t>(b.Data.size()) + 4;
                continue;
            }
            std::vector<uint8_t>& to = type == kTypeVorbisComment ? laterComments : blocks;
            to.push_back(type);
            to.insert(to.end(), b.Header.begin() + 1, b.Header.end());
            to.insert(to.end(), b.Data.begin(), b.Data.end());
        }
        // Room in place for the comment block and one padding block, headers included;
        // the new padding fills what the new comment leaves, so the metadata keeps its
        // length and no audio byte moves.
        const int64_t ownRoom =
            (hasComment ? 4 + int64_t{TagSize} : 0) + (hasPadding ? 4 + int64_t{PaddingSize} : 0);
        const bool direct = hasComment && hasPadding && PaddingIndex == VorbisIndex + 1 && !HasExtraPadding &&
                            ownRoom - 8 - newSize > 0;
        const int64_t inPlacePadding = (direct ? ownRoom : ownRoom + reclaimed) - 8 - newSize;
        const bool fits = inPlacePadding > 0 && inPlacePadding <= kMaxBlockLength;

        std::vector<uint8_t> comment;
        PutBlockHeader(comment, kTypeVorbisComment, static_cast<uint32_t>(newSize));
        comment.insert(comment.end(), Data.begin(), Data.end());
        if (!direct) comment.insert(comment.end(), laterComments.begin(), laterComments.end());

        if (fits) {
            TUnicodeFileStream f(Name, fmOpenReadWrite | fmShareExclusive);
            if (f.Size() != FileSize) return false;  // changed since it was read
            if (direct) {
                f.SetPosition(VCOffset - 4);
            } else {
                f.SetPosition(StreamOffset + static_cast<int64_t>(kHeaderSize));
                WriteAll(f, blocks);
            }
            WriteAll(f, comment);
            const uint8_t flag = (PaddingLast || !direct) ? 0x81 : 0x01;
            std::vector<uint8_t> padding;
            PutBlockHeader(padding, static_cast<uint8_t>(flag | kTypePadding),
                           static_cast<uint32_t>(inPlacePadding));
            // The old padding bytes may stay when the padding keeps its length.
            if (!(direct && inPlacePadding == PaddingSize))
                padding.resize(padding.size() + inPlacePadding, 0);
            WriteAll(f, padding);
        } else {
            const std::filesystem::path target = ResolveRewriteTarget(Name);
            temp = target;
            temp += "~";
            {
                // Opened for writing although only read: a file the user may not write is
                // refused here instead of being replaced, and nobody writes it meanwhile.
                TUnicodeFileStream src(Name, fmOpenReadWrite | fmShareExclusive);
                if (src.Size() != FileSize) return false;
                TUnicodeFileStream dst(temp, fmCreate);
                created = true;
                CopyRange(src, dst, 0, StreamOffset);  // a leading ID3v2 tag, unchanged
                std::array<uint8_t, kHeaderSize> head = Header;
                head[4] &= 0x7F;
                WriteAll(dst, head);
                WriteAll(dst, blocks);
                WriteAll(dst, comment);
                std::vector<uint8_t> padding;
                PutBlockHeader(padding, 0x80 | kTypePadding, kTempPadding);
                padding.resize(padding.size() + kTempPadding, 0);
                WriteAll(dst, padding);
                CopyRange(src, dst, AudioOffset, FileSize - AudioOffset);
            }
            created = false;
            // The original stays whole until the new file replaces it in one step.
            if (!ReplaceFileAtomically(temp, target)) return false;
        }
        if (fileTime) std::filesystem::last_write_time(Name, *fileTime);
        return true;
    } catch (const std::exception&) {
        if (created) UnicodeDeleteFile(temp);
        return false;
    }
}

}  // namespace covrilo
