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
        case 0: return std::make_unique<TTxxxFrame>();
        case 1: return std::make_unique<TWURLFrame>();
        case 2: return std::make_unique<TWXXXFrame>();
        case 3: return std::make_unique<TCOMMFrame>();
        case 4: return std::make_unique<TAPICFrame>();
        case 5: return std::make_unique<TPRIVFrame>();
        case 6: return std::make_unique<TGRIDFrame>();
        case 7: return std::make_unique<TENCRFrame>();
        default: return std::make_unique<TUnknownFrame>();
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
    const unsigned Selector = Data[0];
    const uint16_t Version = kVersions[Selector % 3];
    const unsigned Kind = Selector / 3;
    auto Frame = MakeFrame(Kind);
    TCustomMemoryStream In(std::span<const uint8_t>(Data + 1, Size - 1));
    try {
        if (!Frame->LoadFromStream(In, Version)) return 0;
    } catch (const EID3LibException&) {
        return 0;
    }
    Check(In.Position() <= In.Size(), "position beyond the input", 0);

    for (uint16_t Target : kVersions) {
        TMemoryStream Out;
        try {
            Check(Frame->SaveToStream(Out, Target), "save reported failure", Target);
        } catch (const EID3LibException&) {
            continue;  // no 2.2 identifier, placeholder identifier, teUnknown, too large
        }
        Check(Out.Size() == int64_t{Frame->GetHeaderSize(Target)} + Frame->GetDataSize(Target), "size differs from the bytes written", Target);

        auto Again = MakeFrame(Kind);
        Out.SetPosition(0);
        Check(Again->LoadFromStream(Out, Target), "written frame does not load", Target);
        Check(Out.Position() == Out.Size(), "written frame not consumed exactly", Target);
        TMemoryStream Twice;
        Check(Again->SaveToStream(Twice, Target), "second save reported failure", Target);
        Check(Twice.Data() == Out.Data(), "second save wrote other bytes", Target);
    }
    return 0;
}
