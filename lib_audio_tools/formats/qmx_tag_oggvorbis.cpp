// SPDX-License-Identifier: MIT
#include "formats/qmx_tag_oggvorbis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>

#include "formats/VorbisComment.h"
#include "io/AsciiText.h"
#include "io/ByteCursor.h"
#include "io/EnhancedStreams.h"
#include "io/FileTransaction.h"
#include "io/TextConversion.h"
#include "io/UnicodeFileUtils.h"

namespace covrilo {

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 24;
        for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : (r << 1);
        table[i] = r;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

constexpr size_t kPageHeaderSize = 27;
constexpr size_t kIdentSize = 30;
constexpr std::string_view kCommentType{"\x03vorbis", 7};
constexpr std::string_view kIdentType{"\x01vorbis", 7};
// The last page is looked for in this many bytes before the end of the file.
constexpr int64_t kLastPageWindow = 50 * 241 + 10;

// One Ogg page header with its segment table, as found at Offset.
struct TPageHeader {
    int64_t Offset = 0;
    std::vector<uint8_t> Bytes;  // 27-byte header + segment table
    uint8_t Segments() const { return Bytes[26]; }
    uint8_t Lacing(size_t I) const { return Bytes[kPageHeaderSize + I]; }
    int64_t BodyOffset() const { return Offset + static_cast<int64_t>(Bytes.size()); }
    int64_t BodySize() const {
        int64_t n = 0;
        for (size_t i = 0; i < Segments(); ++i) n += Lacing(i);
        return n;
    }
    uint32_t Serial() const { return U32LEAt(Bytes, 14); }
};

std::optional<TPageHeader> ReadPageHeader(TStream& S, int64_t Offset) {
    if (Offset < 0 || Offset > S.Size()) return std::nullopt;
    TPageHeader page;
    page.Offset = Offset;
    S.SetPosition(Offset);
    page.Bytes = S.ReadBytes(kPageHeaderSize);
    if (page.Bytes.size() < kPageHeaderSize || std::memcmp(page.Bytes.data(), "OggS", 4) != 0 ||
        page.Bytes[4] != 0)
        return std::nullopt;
    std::vector<uint8_t> table = S.ReadBytes(page.Segments());
    if (table.size() < page.Segments()) return std::nullopt;
    page.Bytes.insert(page.Bytes.end(), table.begin(), table.end());
    return page;
}

int64_t ID3v2SizeOf(TStream& S, int64_t FileSize) {
    S.SetPosition(0);
    std::vector<uint8_t> h = S.ReadBytes(10);
    if (h.size() < 10 || std::memcmp(h.data(), "ID3", 3) != 0) return 0;
    int64_t size = int64_t{Syncsafe32At(h, 6)} + 10;
    if (h[5] & 0x10) size += 10;
    return size > FileSize ? 0 : size;
}

// What one scan of the file finds; the writer works from it.
struct TScan {
    int64_t FileSize = 0;
    int64_t ID3v2Size = 0;
    int64_t Samples = 0;
    std::array<uint8_t, kIdentSize> Ident{};
    std::optional<TPageHeader> Page2;
    bool HasComment = false;         // page 2 begins with a comment packet
    bool PacketComplete = false;     // the whole packet was found
    bool VendorRead = false;         // the packet holds at least a vendor and a count
    bool CommentsParsed = false;     // every entry the count announces was read
    bool PacketInPage2 = false;      // ... and it ends inside page 2
    size_t LastLacing = 0;           // index in page 2's table of the packet's last lacing value
    std::vector<uint8_t> Packet;     // the whole comment packet
    size_t EntriesEnd = 0;           // offset in Packet just after the last entry
    std::string Vendor;              // vendor bytes as stored
    std::vector<TOggField> Entries;  // parsed entries (not the vendor)
};

// Collects the comment packet that starts at page 2's first segment, following it onto
// later pages of the stream when page 2 ends inside it.
void CollectPacket(TStream& S, TScan& Scan) {
    const TPageHeader& page2 = *Scan.Page2;
    std::optional<TPageHeader> page = page2;
    bool first = true;
    while (page) {
        int64_t length = 0;
        bool ended = false;
        for (size_t i = 0; i < page->Segments(); ++i) {
            length += page->Lacing(i);
            if (page->Lacing(i) < 255) {
                ended = true;
                if (first) Scan.LastLacing = i;
                break;
            }
        }
        if (length > Scan.FileSize - static_cast<int64_t>(Scan.Packet.size())) return;
        S.SetPosition(page->BodyOffset());
        std::vector<uint8_t> part = S.ReadBytes(length);
        if (static_cast<int64_t>(part.size()) < length) return;
        Scan.Packet.insert(Scan.Packet.end(), part.begin(), part.end());
        if (ended) {
            Scan.PacketInPage2 = first;
            Scan.PacketComplete = true;
            return;
        }
        int64_t next = page->BodyOffset() + page->BodySize();
        uint32_t serial = page->Serial();
        page = ReadPageHeader(S, next);
        // The packet goes on only on a continuation page of the same stream.
        if (page && (page->Serial() != serial || (page->Bytes[5] & 0x01) == 0)) page.reset();
        first = false;
    }
}

// Parses the comment packet. Each stored text is trimmed once as a whole: blanks at
// the ends of an entry go, blanks inside a long value stay.
void ParseComments(TScan& Scan) {
    TByteCursor c(Scan.Packet);
    if (!c.Skip(kCommentType.size())) return;
    const TVorbisComment comment = ParseVorbisComment(std::span(Scan.Packet).subspan(c.Pos()));
    if (!comment.Vendor) return;
    Scan.Vendor = std::string(*comment.Vendor);
    if (!comment.Count) return;
    Scan.VendorRead = true;
    Scan.EntriesEnd = c.Pos() + comment.End;
    for (std::string_view raw : comment.Entries) {
        auto field = SplitVorbisEntry(TrimView(raw));
        if (field) Scan.Entries.emplace_back(std::move(field->Name), Utf8ToWide(TrimView(field->Value)));
    }
    Scan.CommentsParsed = comment.Complete;
}

// Scans the file; nullopt when it is not an Ogg Vorbis stream. File errors raise.
std::optional<TScan> ScanHeaders(const std::filesystem::path& FileName) {
    TUnicodeFileStream s(FileName, fmOpenRead | fmShareDenyWrite);
    TScan scan;
    scan.FileSize = s.Size();
    scan.ID3v2Size = ID3v2SizeOf(s, scan.FileSize);

    auto page1 = ReadPageHeader(s, scan.ID3v2Size);
    if (!page1 || page1->Segments() == 0) return std::nullopt;
    s.SetPosition(page1->BodyOffset());
    std::vector<uint8_t> ident = s.ReadBytes(kIdentSize);
    if (ident.size() < kIdentSize || std::memcmp(ident.data(), kIdentType.data(), kIdentType.size()) != 0)
        return std::nullopt;
    std::copy(ident.begin(), ident.end(), scan.Ident.begin());

    scan.Page2 = ReadPageHeader(s, page1->BodyOffset() + page1->BodySize());
    // The comment packet starts a fresh packet on the page after the identification page.
    if (scan.Page2 && scan.Page2->Serial() == page1->Serial() && scan.Page2->Segments() > 0 &&
        (scan.Page2->Bytes[5] & 0x01) == 0) {
        s.SetPosition(scan.Page2->BodyOffset());
        std::vector<uint8_t> type = s.ReadBytes(kCommentType.size());
        if (type.size() == kCommentType.size() &&
            std::memcmp(type.data(), kCommentType.data(), kCommentType.size()) == 0) {
            scan.HasComment = true;
            CollectPacket(s, scan);
            ParseComments(scan);
        }
    }

    // The granule position of the last page of this stream near the end of the file.
    int64_t start = std::max<int64_t>(scan.ID3v2Size, scan.FileSize - kLastPageWindow);
    s.SetPosition(start);
    std::vector<uint8_t> tail = s.ReadBytes(scan.FileSize - start);
    for (size_t i = tail.size() >= kPageHeaderSize ? tail.size() - kPageHeaderSize + 1 : 0; i-- > 0;) {
        const std::span<const uint8_t> p = std::span(tail).subspan(i, kPageHeaderSize);
        if (std::memcmp(p.data(), "OggS", 4) != 0 || p[4] != 0 || U32LEAt(p, 14) != page1->Serial()) continue;
        const uint64_t granule = U64LEAt(p, 6);
        if (granule == ~uint64_t{0}) continue;  // no packet ends on that page
        scan.Samples = static_cast<int64_t>(granule & 0x7FFFFFFFFFFFFFFFull);
        break;
    }
    return scan;
}

std::optional<std::vector<uint8_t>> BuildPage2(TStream& S, const TScan& Scan,
                                               const std::vector<uint8_t>& Packet) {
    const TPageHeader& old = *Scan.Page2;
    std::vector<uint8_t> lacing(Packet.size() / 255, 255);
    lacing.push_back(static_cast<uint8_t>(Packet.size() % 255));
    for (size_t i = Scan.LastLacing + 1; i < old.Segments(); ++i) lacing.push_back(old.Lacing(i));
    if (lacing.size() > 255) return std::nullopt;

    std::vector<uint8_t> page(old.Bytes.begin(), old.Bytes.begin() + kPageHeaderSize);
    page[26] = static_cast<uint8_t>(lacing.size());
    std::fill(page.begin() + 22, page.begin() + 26, uint8_t{0});
    page.insert(page.end(), lacing.begin(), lacing.end());
    page.insert(page.end(), Packet.begin(), Packet.end());
    int64_t restOffset = old.BodyOffset() + static_cast<int64_t>(Scan.Packet.size());
    int64_t restSize = old.BodySize() - static_cast<int64_t>(Scan.Packet.size());
    S.SetPosition(restOffset);
    std::vector<uint8_t> rest = S.ReadBytes(restSize);
    if (static_cast<int64_t>(rest.size()) != restSize) throw std::runtime_error("short read");
    page.insert(page.end(), rest.begin(), rest.end());
    uint32_t crc = OggCRC32(page);
    PutU32LE(page, 22, crc);
    return page;
}

}  // namespace

uint32_t OggCRC32(std::span<const uint8_t> Data, uint32_t Crc) {
    for (uint8_t b : Data) Crc = (Crc << 8) ^ kCrcTable[((Crc >> 24) ^ b) & 0xFF];
    return Crc;
}

TOggVorbis::TOggVorbis() { ResetData(); }

void TOggVorbis::ResetData() {
    Fields.clear();
    FileSize = 0;
    Channels = 0;
    SampleRate = 0;
    BitRateNominal = 0;
    Samples = 0;
    ID3v2Size = 0;
    VendorInfo.clear();
}

bool TOggVorbis::ReadFromFile(const std::filesystem::path& FileName) {
    ResetData();
    std::optional<TScan> scan = ScanHeaders(FileName);
    if (!scan) return false;
    FileSize = scan->FileSize;
    Channels = scan->Ident[11];
    SampleRate = static_cast<int>(U32LEAt(scan->Ident, 12) & 0x7FFFFFFF);
    auto nominal = static_cast<int32_t>(U32LEAt(scan->Ident, 20));
    BitRateNominal = static_cast<uint16_t>(std::max(nominal, 0) / 1000);
    Samples = scan->Samples;
    ID3v2Size = scan->ID3v2Size;
    VendorInfo = "Xiph.Org libVorbis";
    if (scan->VendorRead) {
        Fields.emplace_back(std::string(), AnsiToWide(TrimView(scan->Vendor)));
        VendorInfo = WideToAnsi(Fields[0].Value);
        for (TOggField& f : scan->Entries) Fields.push_back(std::move(f));
    }
    return true;
}

bool TOggVorbis::SaveTag(const std::filesystem::path& FileName) {
    std::optional<TScan> scan = ScanHeaders(FileName);
    if (!scan) return false;
    // Only a complete comment packet that ends inside the second page can be rewritten
    // by replacing that one page.
    if (!scan->PacketComplete || !scan->CommentsParsed || !scan->PacketInPage2) return false;

    // The file's own comments follow the given ones, unless the key is given.
    std::set<std::string> givenKeys;
    for (const TOggField& f : Fields)
        if (!f.Name.empty()) givenKeys.insert(UpperAscii(f.Name));
    std::u16string vendorText = AnsiToWide(TrimView(scan->Vendor));
    if (Fields.empty())
        Fields.emplace_back(std::string(), vendorText);
    else if (Fields[0].Name.empty())
        Fields[0].Value = vendorText;
    std::vector<TOggField> kept;
    for (TOggField& f : scan->Entries)
        if (!givenKeys.contains(f.Name)) kept.push_back(std::move(f));
    for (TOggField& f : kept) Fields.push_back(std::move(f));

    // New packet: type, the file's vendor, entries with a key and a value, old tail
    // (the framing byte); a missing framing byte is supplied, decoders require it.
    std::vector<uint8_t> packet(kCommentType.begin(), kCommentType.end());
    std::vector<std::string> entries;
    for (const TOggField& f : Fields) {
        if (f.Name.empty() || f.Value.empty() || f.Name.find('=') != std::string::npos) continue;
        entries.push_back(f.Name + "=" + WideToUtf8(f.Value));
    }
    if (!AppendVorbisComment(packet, scan->Vendor, entries)) return false;
    if (scan->EntriesEnd < scan->Packet.size())
        packet.insert(packet.end(), scan->Packet.begin() + static_cast<std::ptrdiff_t>(scan->EntriesEnd),
                      scan->Packet.end());
    else
        packet.push_back(0x01);
    if (packet.size() > 255 * 255) return false;

    if (!UnicodeFileExists(FileName)) return false;
    try {
        // Held locked from the check that it is the file scanned to the commit.
        TFileTransaction transaction(FileName);
        if (transaction.Identity().Size != scan->FileSize) return false;  // changed since the scan
        std::optional<std::vector<uint8_t>> page2 = BuildPage2(transaction.Stream(), *scan, packet);
        if (!page2) return false;
        const TPageHeader& old = *scan->Page2;
        const int64_t oldEnd = old.BodyOffset() + old.BodySize();
        transaction.CommitRewrite({TSplice{old.Offset, oldEnd - old.Offset, std::move(*page2)}}, "~");
        return true;
    } catch (const std::exception& e) {
        LastError = ErrorReason(e);
        return false;
    }
}

double TOggVorbis::Duration() const {
    if (Samples > 0) return SampleRate > 0 ? static_cast<double>(Samples) / SampleRate : 0.0;
    if (BitRateNominal > 0 && Channels > 0)
        return static_cast<double>(FileSize - ID3v2Size) / BitRateNominal / Channels / 125.0 * 2.0;
    return 0.0;
}

int TOggVorbis::BitRate() const {
    double duration = Duration();
    if (duration <= 0) return 0;
    return static_cast<int>(std::lround(static_cast<double>(FileSize - ID3v2Size) / duration / 125.0));
}

bool TOggVorbis::IsValid() const {
    return (Channels == 1 || Channels == 2 || Channels == 6) && SampleRate > 0 && Duration() > 0.1 &&
           static_cast<uint16_t>(BitRate()) > 0;
}

}  // namespace covrilo
