// SPDX-License-Identifier: MIT
#include "formats/FLACfile.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>

#include "formats/VorbisComment.h"
#include "io/AsciiText.h"
#include "io/ByteCursor.h"
#include "io/EnhancedStreams.h"
#include "io/FileTransaction.h"
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

bool IsAscii(std::string_view S) {
    for (char c : S)
        if (static_cast<uint8_t>(c) >= 0x80) return false;
    return true;
}

// UTF-8 <-> system code page; ASCII, by far the most common text, is the same in both.
std::string FromUtf8(std::string_view S) { return IsAscii(S) ? std::string(S) : Utf8ToAnsi(S); }
std::string ToUtf8(const std::string& S) { return IsAscii(S) ? S : AnsiToUtf8(S); }

uint32_t BlockLength(const std::array<uint8_t, 4>& H) { return U24BEAt(H, 1); }

void PutBlockHeader(std::vector<uint8_t>& Out, uint8_t First, uint32_t Length) {
    Out.push_back(First);
    AppendU24BE(Out, Length);
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

std::filesystem::path SameFileKey(const std::filesystem::path& P) {
    std::error_code ec;
    std::filesystem::path key = std::filesystem::weakly_canonical(P, ec);
    return ec ? P : key;
}

}  // namespace

bool TFLACfile::ReadFromFile(const std::filesystem::path& Name) {
    ResetData(false, true);
    valuesFrom_ = SameFileKey(Name);
    return GetInfo(Name, true);
}

void TFLACfile::ReadComment(const std::vector<uint8_t>& Data, bool ReadValues) {
    const TVorbisComment comment = ParseVorbisComment(Data);
    if (!comment.Vendor) return;
    VendorInfo = std::string(*comment.Vendor);
    if (!comment.Count) return;
    Exists = *comment.Count > 0;
    for (std::string_view entry : comment.Entries) {
        auto field = SplitVorbisEntry(entry);
        if (!field) continue;
        fileEntries_.emplace_back(field->Name, std::string(field->Value));
        if (!ReadValues) continue;
        std::string value = FromUtf8(field->Value);
        int index = KeyIndex(field->Name);
        if (index >= 0 && Values[static_cast<size_t>(index)].empty())
            Values[static_cast<size_t>(index)] = std::move(value);
        else
            ExtraFields.emplace_back(std::move(field->Name), std::move(value));
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
    Samples = U32BEAt(Header, 22);

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
    auto encode = [&](const std::string& Key, const std::string& Value) {
        for (size_t i = 0; i < fileEntries_.size(); ++i) {
            if (used[i] || fileEntries_[i].first != Key) continue;
            if (FromUtf8(fileEntries_[i].second) == Value) {
                used[i] = true;
                return fileEntries_[i].second;
            }
        }
        return ToUtf8(Value);
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
            if (TrimView(key).empty() || value.empty() || key.find('=') != std::string::npos) continue;
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
    // The 24-bit block length bounds the whole block.
    if (!AppendVorbisComment(data, vendor, entries) || data.size() > kMaxBlockLength) return false;

    bool ok = WriteCommentBlock(Name, data);
    Exists = ok && !entries.empty();
    return ok;
}

bool TFLACfile::WriteCommentBlock(const std::filesystem::path& Name, const std::vector<uint8_t>& Data) {
    if (!UnicodeFileExists(Name)) return false;
    std::optional<std::filesystem::file_time_type> fileTime;
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

        const uint8_t flag = (PaddingLast || !direct) ? 0x81 : 0x01;
        // One transaction: the file is held locked from the check that it is the file read
        // to the commit, which leaves it either whole and old or whole and new.
        TFileTransaction transaction(Name);
        if (transaction.Identity().Size != FileSize) return false;  // changed since it was read
        if (fits) {
            // The metadata keeps its length: written in place, through the rollback journal.
            std::vector<uint8_t> bytes;
            if (!direct) bytes = blocks;
            bytes.insert(bytes.end(), comment.begin(), comment.end());
            PutBlockHeader(bytes, static_cast<uint8_t>(flag | kTypePadding),
                           static_cast<uint32_t>(inPlacePadding));
            // The old padding bytes may stay when the padding keeps its length.
            if (!(direct && inPlacePadding == PaddingSize)) bytes.resize(bytes.size() + inPlacePadding, 0);
            const int64_t at = direct ? VCOffset - 4 : StreamOffset + static_cast<int64_t>(kHeaderSize);
            transaction.CommitInPlace({TSplice{at, static_cast<int64_t>(bytes.size()), std::move(bytes)}});
        } else {
            // A leading ID3v2 tag and the audio stay; the stream header and the metadata change.
            std::vector<uint8_t> bytes(Header.begin(), Header.end());
            bytes[4] &= 0x7F;
            bytes.insert(bytes.end(), blocks.begin(), blocks.end());
            bytes.insert(bytes.end(), comment.begin(), comment.end());
            PutBlockHeader(bytes, 0x80 | kTypePadding, kTempPadding);
            bytes.resize(bytes.size() + kTempPadding, 0);
            transaction.CommitRewrite({TSplice{StreamOffset, AudioOffset - StreamOffset, std::move(bytes)}},
                                      "~");
        }
        if (fileTime) std::filesystem::last_write_time(Name, *fileTime);
        return true;
    } catch (const std::exception& e) {
        LastError = ErrorReason(e);
        return false;
    }
}

}  // namespace covrilo
