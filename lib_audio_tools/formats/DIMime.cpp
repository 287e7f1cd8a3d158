// SPDX-License-Identifier: MIT
#include "formats/DIMime.h"

#include "io/EnhancedStreams.h"

#include <array>
#include <vector>

namespace covrilo {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> MakeDecodeTable() {
    std::array<int8_t, 256> Table{};
    for (auto& V : Table) V = -1;
    for (int I = 0; I < 64; ++I) Table[static_cast<uint8_t>(kAlphabet[I])] = static_cast<int8_t>(I);
    return Table;
}
constexpr auto kDecode = MakeDecodeTable();

}  // namespace

size_t MimeEncodedSize(size_t InputSize) { return (InputSize / 3 + (InputSize % 3 != 0 ? 1 : 0)) * 4; }

void MimeEncodeAppend(std::span<const uint8_t> Input, std::string& Output) {
    const size_t Start = Output.size();
    Output.resize(Start + MimeEncodedSize(Input.size()));
    char* Out = Output.data() + Start;
    size_t I = 0;
    for (; Input.size() - I >= 3; I += 3) {
        const uint32_t V = (uint32_t{Input[I]} << 16) | (uint32_t{Input[I + 1]} << 8) | Input[I + 2];
        *Out++ = kAlphabet[(V >> 18) & 63];
        *Out++ = kAlphabet[(V >> 12) & 63];
        *Out++ = kAlphabet[(V >> 6) & 63];
        *Out++ = kAlphabet[V & 63];
    }
    const size_t Rest = Input.size() - I;
    if (Rest > 0) {
        const uint32_t V = (uint32_t{Input[I]} << 16) | (Rest == 2 ? uint32_t{Input[I + 1]} << 8 : 0u);
        *Out++ = kAlphabet[(V >> 18) & 63];
        *Out++ = kAlphabet[(V >> 12) & 63];
        *Out++ = Rest == 2 ? kAlphabet[(V >> 6) & 63] : '=';
        *Out++ = '=';
    }
}

std::string MimeEncodeString(std::span<const uint8_t> Input) {
    std::string Output;
    MimeEncodeAppend(Input, Output);
    return Output;
}

std::string MimeEncodeStream(TStream& Input) {
    std::string Output;
    const int64_t Remaining = Input.Remaining();
    if (Remaining > 0) Output.reserve(MimeEncodedSize(static_cast<size_t>(Remaining)));
    std::array<uint8_t, MIME_BUFFER_SIZE> Block{};
    for (;;) {
        // Fill a whole block before encoding: only the last block may be short, or padding
        // would land in the middle of the text.
        size_t Filled = 0;
        while (Filled < Block.size()) {
            const int64_t N = Input.Read(Block.data() + Filled, static_cast<int64_t>(Block.size() - Filled));
            if (N <= 0) break;
            Filled += static_cast<size_t>(N);
        }
        MimeEncodeAppend(std::span<const uint8_t>(Block.data(), Filled), Output);
        if (Filled < Block.size()) break;
    }
    return Output;
}

bool MimeDecodeString(std::string_view Input, std::string& Output) {
    Output.clear();
    size_t Len = Input.size();
    if (Len % 4 == 0) {
        // Up to two trailing '=' belong to the last group.
        if (Len > 0 && Input[Len - 1] == '=') --Len;
        if (Len > 0 && Input[Len - 1] == '=') --Len;
    }
    if (Len % 4 == 1) return false;
    Output.reserve(Len / 4 * 3 + 2);
    uint32_t Acc = 0;
    int Bits = 0;
    for (size_t I = 0; I < Len; ++I) {
        const int8_t D = kDecode[static_cast<uint8_t>(Input[I])];
        if (D < 0) return false;
        Acc = (Acc << 6) | static_cast<uint32_t>(D);
        Bits += 6;
        if (Bits >= 8) {
            Bits -= 8;
            Output += static_cast<char>((Acc >> Bits) & 0xFF);
        }
    }
    return true;
}

}  // namespace covrilo
