// SPDX-License-Identifier: MIT
// Loads one ID3v2 frame of any class and version from arbitrary bytes, then writes it in
// every version: the header must announce exactly the bytes written, and what was written
// must load again and write the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>

#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TENCRFrame.h"
#include "id3v2/frames/TGRIDFrame.h"
#include "id3v2/frames/TPRIVFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TUnknownFrame.h"
#include "id3v2/frames/TWURLFrame.h"
#include "id3v2/frames/TWXXXFrame.h"

using namespace covrilo;

namespace {

std::unique_ptr<TBaseFrame> MakeFrame(unsigned Kind) {
    switch (Kind % 9) {
        case 0:
            return std::make_unique<TTxxxFrame>();
        case 1:
            return std::make_unique<TWURLFrame>();
        case 2:
            return std::make_unique<TWXXXFrame>();
        case 3:
            return std::make_unique<TCOMMFrame>();
        case 4:
            return std::make_unique<TAPICFrame>();
        case 5:
            return std::make_unique<TPRIVFrame>();
        case 6:
            return std::make_unique<TGRIDFrame>();
        case 7:
            return std::make_unique<TENCRFrame>();
        default:
            return std::make_unique<TUnknownFrame>();
    }
}

constexpr uint16_t kVersions[] = {0x0200, 0x0300, 0x0400};

void Check(bool Condition, const char* What, uint16_t Target) {
    if (Condition) return;
    std::fprintf(stderr, "check failed: %s (writing version %x)\n", What, Target);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1) return 0;
    const unsigned selector = Data[0];
    const uint16_t version = kVersions[selector % 3];
    const unsigned kind = selector / 3;
    auto frame = MakeFrame(kind);
    TCustomMemoryStream in(std::span<const uint8_t>(Data + 1, Size - 1));
    try {
        if (!frame->LoadFromStream(in, version)) return 0;
    } catch (const EID3LibException&) {
        return 0;
    }
    Check(in.Position() <= in.Size(), "position beyond the input", 0);

    for (uint16_t target : kVersions) {
        TMemoryStream out;
        try {
            Check(frame->SaveToStream(out, target), "save reported failure", target);
        } catch (const EID3LibException&) {
            continue;  // no 2.2 identifier, placeholder identifier, teUnknown, too large
        }
        Check(out.Size() == int64_t{frame->GetHeaderSize(target)} + frame->GetDataSize(target),
              "size differs from the bytes written", target);

        auto again = MakeFrame(kind);
        out.SetPosition(0);
        Check(again->LoadFromStream(out, target), "written frame does not load", target);
        Check(out.Position() == out.Size(), "written frame not consumed exactly", target);
        TMemoryStream twice;
        Check(again->SaveToStream(twice, target), "second save reported failure", target);
        Check(twice.Data() == out.Data(), "second save wrote other bytes", target);
    }
    return 0;
}
