// SPDX-License-Identifier: MIT
#include "id3v2/ID3v2FrameWalk.h"

#include <algorithm>

#include "id3v2/ID3v2Class.h"
#include "id3v2/ID3v2KnownFrames.h"
#include "id3v2/frames/TRawFrame.h"
#include "io/ByteCursor.h"

namespace covrilo {

namespace {

enum class TIDKind {
    Valid,      // a frame identifier
    Mapped22,   // a 2.2 identifier in a 2.3/2.4 header ("TP1\0"), mapped to its 2.3 form
    Unknown22,  // a valid 2.2 identifier without a 2.3 form
    Invalid,
};

struct THeader {
    TIDKind Kind = TIDKind::Invalid;
    std::string ID;      // 2.3/2.4 form for Valid and Mapped22 (2.2: converted), raw otherwise
    uint64_t Total = 0;  // header and content
};

size_t HeaderLength(uint8_t Major) { return Major == 2 ? 6 : 10; }

// The header at Pos, which must hold HeaderLength bytes.
THeader ReadHeader(std::span<const uint8_t> Area, size_t Pos, uint8_t Major, bool Plain) {
    THeader h;
    const uint8_t* p = Area.data() + Pos;
    if (Major == 2) {
        h.Total = 6 + uint64_t{U24BEAt(Area, Pos + 3)};
        h.ID.assign(reinterpret_cast<const char*>(p), 3);
        std::string id;
        if (!IsFrameIDText(Area.subspan(Pos, 3))) {
            h.Kind = TIDKind::Invalid;
        } else if (ConvertID22To23(h.ID, id)) {
            h.Kind = TIDKind::Valid;
            h.ID = id;
        } else {
            h.Kind = TIDKind::Unknown22;
        }
        return h;
    }
    h.Total =
        10 + (Plain ? uint64_t{U32BEAt(Area, Pos + 4)} : uint64_t{TBaseFrame::DecodeFrameSize(p + 4, Major)});
    h.ID.assign(reinterpret_cast<const char*>(p), 4);
    std::string id;
    if (IsFrameIDText(Area.subspan(Pos, 4))) {
        h.Kind = TIDKind::Valid;
    } else if (p[3] == 0 && IsFrameIDText(Area.subspan(Pos, 3)) && ConvertID22To23(h.ID.substr(0, 3), id)) {
        h.Kind = TIDKind::Mapped22;
        h.ID = id;
    }
    return h;
}

bool IsZeroID(std::span<const uint8_t> Area, size_t Pos, uint8_t Major) {
    const size_t n = std::min(Area.size() - Pos, Major == 2 ? size_t{3} : size_t{4});
    return std::all_of(Area.begin() + static_cast<std::ptrdiff_t>(Pos),
                       Area.begin() + static_cast<std::ptrdiff_t>(Pos + n), [](uint8_t B) { return B == 0; });
}

// A run of one filler byte up to the end: padding some taggers write with 0xFF or spaces.
bool IsFillerTail(std::span<const uint8_t> Area, size_t Pos) {
    if (Pos >= Area.size()) return true;
    const uint8_t first = Area[Pos];
    if (first != 0x00 && first != 0xFF && first != 0x20) return false;
    return std::all_of(Area.begin() + static_cast<std::ptrdiff_t>(Pos), Area.end(),
                       [first](uint8_t B) { return B == first; });
}

bool IsPaddingAt(std::span<const uint8_t> Area, size_t Pos, uint8_t Major) {
    return Pos >= Area.size() || IsZeroID(Area, Pos, Major) || IsFillerTail(Area, Pos);
}

// A frame that fits the area starts at Pos, or the area (or its padding) ends there. Frames
// without a valid identifier may come in a row (a save puts them last): each one's size must
// lead on, until a frame with one, the padding or the end is reached.
// Reached: where the row of frames without identifier ended (valid only on true).
bool LandsWell(std::span<const uint8_t> Area, size_t Pos, uint8_t Major, bool Plain, size_t& Reached) {
    while (true) {
        Reached = Pos;
        if (IsPaddingAt(Area, Pos, Major)) return true;
        if (Area.size() - Pos < HeaderLength(Major)) return false;
        const THeader next = ReadHeader(Area, Pos, Major, Plain);
        if (next.Total > Area.size() - Pos) return false;
        if (next.Kind != TIDKind::Invalid) return true;
        Pos += static_cast<size_t>(next.Total);
    }
}

struct TScore {
    int Frames = 0;
    bool Consistent = false;
};

// Walks Area by one reading of the sizes: how many frames with an identifier it meets, and
// whether it reaches the end or the padding without running past the area.
TScore Score(std::span<const uint8_t> Area, bool Plain) {
    TScore score;
    size_t pos = 0;
    size_t landed = 0;
    while (true) {
        if (IsPaddingAt(Area, pos, 4)) {
            score.Consistent = true;
            return score;
        }
        if (Area.size() - pos < 10) return score;
        const THeader h = ReadHeader(Area, pos, 4, Plain);
        if (h.Total > Area.size() - pos) return score;
        if (h.Kind == TIDKind::Invalid && pos >= landed && !LandsWell(Area, pos + h.Total, 4, Plain, landed))
            return score;
        if (h.Kind != TIDKind::Invalid) ++score.Frames;
        pos += static_cast<size_t>(h.Total);
    }
}

}  // namespace

bool IsFrameIDText(std::span<const uint8_t> ID) {
    return !ID.empty() && std::all_of(ID.begin(), ID.end(), [](uint8_t C) {
        return (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9');
    });
}

bool HasPlainFrameSizes(std::span<const uint8_t> Area) {
    const TScore syncsafe = Score(Area, false);
    if (syncsafe.Consistent) return false;
    const TScore plain = Score(Area, true);
    return plain.Consistent || plain.Frames > syncsafe.Frames;
}

TFrameWalk WalkFrames(std::span<const uint8_t> Area, int64_t Offset, uint16_t Version,
                      std::vector<std::unique_ptr<TBaseFrame>>& Frames) {
    TFrameWalk walk;
    const uint8_t major = MajorVersion(Version);
    if (major < 2 || major > 4) return walk;
    const size_t headerLength = HeaderLength(major);
    walk.PlainSizes = major == 4 && HasPlainFrameSizes(Area);
    auto stop = [&](size_t Pos, std::string ID, std::string Reason) {
        walk.Complete = false;
        walk.StopOffset = Offset + static_cast<int64_t>(Pos);
        walk.StopID = std::move(ID);
        walk.StopReason = std::move(Reason);
        return walk;
    };

    size_t pos = 0;
    // Frames without identifier before this position are known to lead on to a frame.
    size_t landed = 0;
    while (!IsPaddingAt(Area, pos, major)) {
        const size_t rest = Area.size() - pos;
        if (rest < headerLength) {
            const size_t shown = std::min(rest, major == 2 ? size_t{3} : size_t{4});
            return stop(pos, std::string(reinterpret_cast<const char*>(Area.data() + pos), shown),
                        "is too short for a frame header");
        }
        const THeader h = ReadHeader(Area, pos, major, walk.PlainSizes);
        const std::string rawID(reinterpret_cast<const char*>(Area.data() + pos), major == 2 ? 3 : 4);
        if (h.Total > rest)
            return stop(
                pos, rawID,
                "claims " + std::to_string(h.Total - headerLength) + " bytes, more than the tag holds");
        const std::span<const uint8_t> bytes = Area.subspan(pos, static_cast<size_t>(h.Total));
        const int64_t at = Offset + static_cast<int64_t>(pos);
        std::unique_ptr<TBaseFrame> frame;
        if (h.Kind == TIDKind::Invalid) {
            if (pos >= landed &&
                !LandsWell(Area, pos + static_cast<size_t>(h.Total), major, walk.PlainSizes, landed))
                return stop(pos, rawID, "is not a frame (its identifier is none)");
            frame = std::make_unique<TRawFrame>(bytes, Version, TRawFrame::TKind::InvalidID);
        } else if (h.Kind == TIDKind::Unknown22) {
            frame = std::make_unique<TRawFrame>(bytes, Version, TRawFrame::TKind::TwoTwoOnly);
        } else {
            frame = TID3v2Class::CreateFrame(h.ID);
            bool loaded = false;
            try {
                if (walk.PlainSizes || h.Kind == TIDKind::Mapped22) {
                    // The frame classes read a syncsafe 2.4 size and a 2.3/2.4 identifier.
                    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
                    std::copy(h.ID.begin(), h.ID.end(), copy.begin());
                    if (major == 4) PutSyncsafe32(copy, 4, static_cast<uint32_t>(h.Total - 10));
                    TMemoryStream in(std::move(copy));
                    loaded = frame->LoadFromStream(in, Version);
                } else {
                    TCustomMemoryStream in(bytes);
                    loaded = frame->LoadFromStream(in, Version);
                }
            } catch (const EID3LibLoadException&) {
                loaded = false;
            }
            if (loaded) {
                frame->SetFrameID(h.ID);
            } else {
                frame = std::make_unique<TRawFrame>(bytes, Version, TRawFrame::TKind::BrokenHeader);
            }
        }
        frame->SetFileOffset(at);
        Frames.push_back(std::move(frame));
        pos += static_cast<size_t>(h.Total);
    }
    return walk;
}

}  // namespace covrilo
