// SPDX-License-Identifier: MIT
// Builders of small FLAC and Ogg Vorbis files for the FLAC and Ogg tests, and a page
// splitter that lets tests compare files page by page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/qmx_tag_oggvorbis.h"
#include "support/TestSupport.h"

namespace covrilo::test {

inline void PutLE32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline uint32_t GetLE32(const Bytes& b, size_t at) {
    return b[at] | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

inline void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
inline void Append(Bytes& out, const std::string& more) { out.insert(out.end(), more.begin(), more.end()); }

// Vorbis comment data: vendor, count, entries (each after its LE32 length).
inline Bytes VorbisComment(const std::string& vendor, const std::vector<std::string>& entries) {
    Bytes out;
    PutLE32(out, static_cast<uint32_t>(vendor.size()));
    Append(out, vendor);
    PutLE32(out, static_cast<uint32_t>(entries.size()));
    for (const std::string& e : entries) {
        PutLE32(out, static_cast<uint32_t>(e.size()));
        Append(out, e);
    }
    return out;
}

// ---- FLAC --------------------------------------------------------------------------

struct FlacBlock {
    uint8_t type;
    Bytes data;
};

// STREAMINFO data (34 bytes) for the given stream values.
inline Bytes StreamInfo(uint32_t rate, int channels, int bits, uint64_t samples) {
    Bytes d(34, 0);
    d[0] = 0x10;  // block sizes 4096
    d[2] = 0x10;
    d[10] = static_cast<uint8_t>(rate >> 12);
    d[11] = static_cast<uint8_t>(rate >> 4);
    d[12] = static_cast<uint8_t>((rate & 0xF) << 4 | (channels - 1) << 1 | (bits - 1) >> 4);
    d[13] = static_cast<uint8_t>(((bits - 1) & 0xF) << 4 | ((samples >> 32) & 0xF));
    for (int i = 0; i < 4; ++i) d[14 + i] = static_cast<uint8_t>(samples >> (24 - 8 * i));
    return d;
}

inline void PutBlockHeader(Bytes& out, uint8_t first, size_t length) {
    out.push_back(first);
    out.push_back(static_cast<uint8_t>(length >> 16));
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(length));
}

// "fLaC", STREAMINFO (44.1 kHz, 2 channels, 16 bits, 441000 samples), the blocks (the
// last one flagged last), then the audio bytes.
inline Bytes MakeFlac(const std::vector<FlacBlock>& blocks, const Bytes& audio, const Bytes& prefix = {}) {
    Bytes out = prefix;
    Append(out, std::string("fLaC"));
    PutBlockHeader(out, blocks.empty() ? 0x80 : 0x00, 34);
    Append(out, StreamInfo(44100, 2, 16, 441000));
    for (size_t i = 0; i < blocks.size(); ++i) {
        PutBlockHeader(out, static_cast<uint8_t>(blocks[i].type | (i + 1 == blocks.size() ? 0x80 : 0)),
                       blocks[i].data.size());
        Append(out, blocks[i].data);
    }
    Append(out, audio);
    return out;
}

// Audio stand-in: bytes that are easy to tell apart.
inline Bytes FakeAudio(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0xFF - (i * 7) % 251);
    return b;
}

// A minimal ID3v2.3 tag of the given total size (header included), padding only.
inline Bytes ID3v2Tag(size_t total) {
    Bytes t = {'I', 'D', '3', 3, 0, 0};
    size_t body = total - 10;
    t.push_back(static_cast<uint8_t>((body >> 21) & 0x7F));
    t.push_back(static_cast<uint8_t>((body >> 14) & 0x7F));
    t.push_back(static_cast<uint8_t>((body >> 7) & 0x7F));
    t.push_back(static_cast<uint8_t>(body & 0x7F));
    Bytes frame = {'T', 'I', 'T', '2', 0, 0, 0, 4, 0, 0, 0, 'a', 'b', 'c'};
    Append(t, frame);
    t.resize(total, 0);
    return t;
}

// ---- Ogg ---------------------------------------------------------------------------

// One Ogg page holding the given packets (the last may be continued with continues).
inline Bytes OggPage(uint8_t headerType, uint64_t granule, uint32_t serial, uint32_t sequence,
                     const std::vector<Bytes>& packets, bool lastPacketContinues = false) {
    Bytes lacing, body;
    for (size_t p = 0; p < packets.size(); ++p) {
        size_t n = packets[p].size();
        while (n >= 255) {
            lacing.push_back(255);
            n -= 255;
        }
        if (!(lastPacketContinues && p + 1 == packets.size())) lacing.push_back(static_cast<uint8_t>(n));
        Append(body, packets[p]);
    }
    Bytes page = {'O', 'g', 'g', 'S', 0, headerType};
    for (int i = 0; i < 8; ++i) page.push_back(static_cast<uint8_t>(granule >> (8 * i)));
    PutLE32(page, serial);
    PutLE32(page, sequence);
    PutLE32(page, 0);
    page.push_back(static_cast<uint8_t>(lacing.size()));
    Append(page, lacing);
    Append(page, body);
    uint32_t crc = OggCRC32(page);
    for (int i = 0; i < 4; ++i) page[22 + i] = static_cast<uint8_t>(crc >> (8 * i));
    return page;
}

inline Bytes IdentPacket(uint8_t channels, uint32_t rate, uint32_t nominal) {
    Bytes p = {1, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, channels};
    PutLE32(p, rate);
    PutLE32(p, 0);
    PutLE32(p, nominal);
    PutLE32(p, 0);
    p.push_back(0xB8);
    p.push_back(1);
    return p;
}

inline Bytes CommentPacket(const std::string& vendor, const std::vector<std::string>& entries) {
    Bytes p = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    Append(p, VorbisComment(vendor, entries));
    p.push_back(1);  // framing
    return p;
}

inline Bytes SetupPacket(size_t n) {
    Bytes p = {5, 'v', 'o', 'r', 'b', 'i', 's'};
    for (size_t i = 7; i < n; ++i) p.push_back(static_cast<uint8_t>(i * 13));
    return p;
}

// Ident page, a page with the comment and setup packets, then an audio page whose
// granule is `samples`.
inline Bytes MakeOgg(const Bytes& commentPacket, uint8_t channels = 2, uint64_t samples = 88200,
                     size_t audioBytes = 3000, const Bytes& prefix = {}) {
    const uint32_t serial = 0x1234ABCD;
    Bytes out = prefix;
    Append(out, OggPage(0x02, 0, serial, 0, {IdentPacket(channels, 44100, 128000)}));
    Append(out, OggPage(0x00, 0, serial, 1, {commentPacket, SetupPacket(600)}));
    Append(out, OggPage(0x04, samples, serial, 2, {FakeAudio(audioBytes)}));
    return out;
}

// Splits an Ogg byte stream (from offset `from`) into pages; stops at anything that is
// not a page.
inline std::vector<Bytes> SplitPages(const Bytes& file, size_t from = 0) {
    std::vector<Bytes> pages;
    size_t pos = from;
    while (file.size() - pos >= 27 && file[pos] == 'O' && file[pos + 1] == 'g' && file[pos + 2] == 'g' &&
           file[pos + 3] == 'S') {
        size_t segs = file[pos + 26];
        if (file.size() - pos < 27 + segs) break;
        size_t body = 0;
        for (size_t i = 0; i < segs; ++i) body += file[pos + 27 + i];
        size_t len = 27 + segs + body;
        if (file.size() - pos < len) break;
        pages.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(pos),
                           file.begin() + static_cast<std::ptrdiff_t>(pos + len));
        pos += len;
    }
    return pages;
}

// True when the page's stored CRC matches one computed over it with the field zeroed.
inline bool PageCrcValid(const Bytes& page) {
    Bytes copy = page;
    for (int i = 22; i < 26; ++i) copy[i] = 0;
    return OggCRC32(copy) == GetLE32(page, 22);
}

}  // namespace covrilo::test

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>

namespace covrilo::test {

// Runs fn where file permissions apply: directly for an ordinary user; as root (which
// ignores them) in a child process that drops to the "nobody" user. nullopt when that
// cannot be arranged. fn's folder must be reachable by that user.
inline std::optional<bool> RunWithPermissions(const std::function<bool()>& fn) {
    if (::geteuid() != 0) return fn();
    pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        ::_exit(fn() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 3)
        return std::nullopt;
    return WEXITSTATUS(status) == 0;
}

// Runs fn (a save of File) as an unprivileged user while File may be written but its folder
// not, so that no temporary file or journal can be made beside it; the folder is opened again
// afterwards. Nothing when the user cannot be switched to.
inline std::optional<bool> RunInAClosedFolder(const std::filesystem::path& File, const std::function<bool()>& fn) {
    namespace fs = std::filesystem;
    fs::permissions(File, fs::perms::all);
    fs::permissions(File.parent_path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                            fs::perms::others_read | fs::perms::others_exec);
    const std::optional<bool> result = RunWithPermissions(fn);
    fs::permissions(File.parent_path(), fs::perms::owner_all);
    return result;
}

}  // namespace covrilo::test
