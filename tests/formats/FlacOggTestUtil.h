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

inline void PutLE32(Bytes& Out, uint32_t V) {
    for (int i = 0; i < 4; ++i) Out.push_back(static_cast<uint8_t>(V >> (8 * i)));
}

inline uint32_t GetLE32(const Bytes& B, size_t At) {
    return B[At] | uint32_t{B[At + 1]} << 8 | uint32_t{B[At + 2]} << 16 | uint32_t{B[At + 3]} << 24;
}

inline void Append(Bytes& Out, const Bytes& More) { Out.insert(Out.end(), More.begin(), More.end()); }
inline void Append(Bytes& Out, const std::string& More) { Out.insert(Out.end(), More.begin(), More.end()); }

// Vorbis comment data: vendor, count, entries (each after its LE32 length).
inline Bytes VorbisComment(const std::string& Vendor, const std::vector<std::string>& Entries) {
    Bytes out;
    PutLE32(out, static_cast<uint32_t>(Vendor.size()));
    Append(out, Vendor);
    PutLE32(out, static_cast<uint32_t>(Entries.size()));
    for (const std::string& e : Entries) {
        PutLE32(out, static_cast<uint32_t>(e.size()));
        Append(out, e);
    }
    return out;
}

// ---- FLAC --------------------------------------------------------------------------

struct FlacBlock {
    uint8_t Type;
    Bytes Data;
};

// STREAMINFO data (34 bytes) for the given stream values.
inline Bytes StreamInfo(uint32_t Rate, int Channels, int Bits, uint64_t Samples) {
    Bytes d(34, 0);
    d[0] = 0x10;  // block sizes 4096
    d[2] = 0x10;
    d[10] = static_cast<uint8_t>(Rate >> 12);
    d[11] = static_cast<uint8_t>(Rate >> 4);
    d[12] = static_cast<uint8_t>((Rate & 0xF) << 4 | (Channels - 1) << 1 | (Bits - 1) >> 4);
    d[13] = static_cast<uint8_t>(((Bits - 1) & 0xF) << 4 | ((Samples >> 32) & 0xF));
    for (int i = 0; i < 4; ++i) d[14 + i] = static_cast<uint8_t>(Samples >> (24 - 8 * i));
    return d;
}

inline void PutBlockHeader(Bytes& Out, uint8_t First, size_t Length) {
    Out.push_back(First);
    Out.push_back(static_cast<uint8_t>(Length >> 16));
    Out.push_back(static_cast<uint8_t>(Length >> 8));
    Out.push_back(static_cast<uint8_t>(Length));
}

// "fLaC", STREAMINFO (44.1 kHz, 2 channels, 16 bits, 441000 samples), the blocks (the
// last one flagged last), then the audio bytes.
inline Bytes MakeFlac(const std::vector<FlacBlock>& Blocks, const Bytes& Audio, const Bytes& Prefix = {}) {
    Bytes out = Prefix;
    Append(out, std::string("fLaC"));
    PutBlockHeader(out, Blocks.empty() ? 0x80 : 0x00, 34);
    Append(out, StreamInfo(44100, 2, 16, 441000));
    for (size_t i = 0; i < Blocks.size(); ++i) {
        PutBlockHeader(out, static_cast<uint8_t>(Blocks[i].Type | (i + 1 == Blocks.size() ? 0x80 : 0)),
                       Blocks[i].Data.size());
        Append(out, Blocks[i].Data);
    }
    Append(out, Audio);
    return out;
}

// Audio stand-in: bytes that are easy to tell apart.
inline Bytes FakeAudio(size_t N) {
    Bytes b(N);
    for (size_t i = 0; i < N; ++i) b[i] = static_cast<uint8_t>(0xFF - (i * 7) % 251);
    return b;
}

// A minimal ID3v2.3 tag of the given total size (header included), padding only.
inline Bytes ID3v2Tag(size_t Total) {
    Bytes t = {'I', 'D', '3', 3, 0, 0};
    size_t body = Total - 10;
    t.push_back(static_cast<uint8_t>((body >> 21) & 0x7F));
    t.push_back(static_cast<uint8_t>((body >> 14) & 0x7F));
    t.push_back(static_cast<uint8_t>((body >> 7) & 0x7F));
    t.push_back(static_cast<uint8_t>(body & 0x7F));
    Bytes frame = {'T', 'I', 'T', '2', 0, 0, 0, 4, 0, 0, 0, 'a', 'b', 'c'};
    Append(t, frame);
    t.resize(Total, 0);
    return t;
}

// ---- Ogg ---------------------------------------------------------------------------

// One Ogg page holding the given packets (the last may be continued with continues).
inline Bytes OggPage(uint8_t HeaderType, uint64_t Granule, uint32_t Serial, uint32_t Sequence,
                     const std::vector<Bytes>& Packets, bool LastPacketContinues = false) {
    Bytes lacing, body;
    for (size_t p = 0; p < Packets.size(); ++p) {
        size_t n = Packets[p].size();
        while (n >= 255) {
            lacing.push_back(255);
            n -= 255;
        }
        if (!(LastPacketContinues && p + 1 == Packets.size())) lacing.push_back(static_cast<uint8_t>(n));
        Append(body, Packets[p]);
    }
    Bytes page = {'O', 'g', 'g', 'S', 0, HeaderType};
    for (int i = 0; i < 8; ++i) page.push_back(static_cast<uint8_t>(Granule >> (8 * i)));
    PutLE32(page, Serial);
    PutLE32(page, Sequence);
    PutLE32(page, 0);
    page.push_back(static_cast<uint8_t>(lacing.size()));
    Append(page, lacing);
    Append(page, body);
    uint32_t crc = OggCRC32(page);
    for (int i = 0; i < 4; ++i) page[22 + i] = static_cast<uint8_t>(crc >> (8 * i));
    return page;
}

inline Bytes IdentPacket(uint8_t Channels, uint32_t Rate, uint32_t Nominal) {
    Bytes p = {1, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, Channels};
    PutLE32(p, Rate);
    PutLE32(p, 0);
    PutLE32(p, Nominal);
    PutLE32(p, 0);
    p.push_back(0xB8);
    p.push_back(1);
    return p;
}

inline Bytes CommentPacket(const std::string& Vendor, const std::vector<std::string>& Entries) {
    Bytes p = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    Append(p, VorbisComment(Vendor, Entries));
    p.push_back(1);  // framing
    return p;
}

inline Bytes SetupPacket(size_t N) {
    Bytes p = {5, 'v', 'o', 'r', 'b', 'i', 's'};
    for (size_t i = 7; i < N; ++i) p.push_back(static_cast<uint8_t>(i * 13));
    return p;
}

// Ident page, a page with the comment and setup packets, then an audio page whose
// granule is `samples`.
inline Bytes MakeOgg(const Bytes& CommentPacket, uint8_t Channels = 2, uint64_t Samples = 88200,
                     size_t AudioBytes = 3000, const Bytes& Prefix = {}) {
    const uint32_t serial = 0x1234ABCD;
    Bytes out = Prefix;
    Append(out, OggPage(0x02, 0, serial, 0, {IdentPacket(Channels, 44100, 128000)}));
    Append(out, OggPage(0x00, 0, serial, 1, {CommentPacket, SetupPacket(600)}));
    Append(out, OggPage(0x04, Samples, serial, 2, {FakeAudio(AudioBytes)}));
    return out;
}

// Splits an Ogg byte stream (from offset `from`) into pages; stops at anything that is
// not a page.
inline std::vector<Bytes> SplitPages(const Bytes& File, size_t From = 0) {
    std::vector<Bytes> pages;
    size_t pos = From;
    while (File.size() - pos >= 27 && File[pos] == 'O' && File[pos + 1] == 'g' && File[pos + 2] == 'g' &&
           File[pos + 3] == 'S') {
        size_t segs = File[pos + 26];
        if (File.size() - pos < 27 + segs) break;
        size_t body = 0;
        for (size_t i = 0; i < segs; ++i) body += File[pos + 27 + i];
        size_t len = 27 + segs + body;
        if (File.size() - pos < len) break;
        pages.emplace_back(File.begin() + static_cast<std::ptrdiff_t>(pos),
                           File.begin() + static_cast<std::ptrdiff_t>(pos + len));
        pos += len;
    }
    return pages;
}

// True when the page's stored CRC matches one computed over it with the field zeroed.
inline bool PageCrcValid(const Bytes& Page) {
    Bytes copy = Page;
    for (int i = 22; i < 26; ++i) copy[i] = 0;
    return OggCRC32(copy) == GetLE32(Page, 22);
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
inline std::optional<bool> RunWithPermissions(const std::function<bool()>& Fn) {
    if (::geteuid() != 0) return Fn();
    pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        ::_exit(Fn() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 3)
        return std::nullopt;
    return WEXITSTATUS(status) == 0;
}

// Runs fn (a save of File) as an unprivileged user while File may be written but its folder
// not, so that no temporary file or journal can be made beside it; the folder is opened again
// afterwards. Nothing when the user cannot be switched to.
inline std::optional<bool> RunInAClosedFolder(const std::filesystem::path& File,
                                              const std::function<bool()>& Fn) {
    namespace fs = std::filesystem;
    fs::permissions(File, fs::perms::all);
    fs::permissions(File.parent_path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                            fs::perms::others_read | fs::perms::others_exec);
    const std::optional<bool> result = RunWithPermissions(Fn);
    fs::permissions(File.parent_path(), fs::perms::owner_all);
    return result;
}

}  // namespace covrilo::test
