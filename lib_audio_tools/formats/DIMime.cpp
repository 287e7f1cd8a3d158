// SPDX-License-Identifier: MIT
#include "formats/DIMime.h"

#include <array>
#include <vector>

#include "io/EnhancedStreams.h"

namespace covrilo {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> MakeDecodeTable() {
    std::array<int8_t, 256> table{};
    for (auto& v : table) v = -1;
    for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    return table;
}
constexpr auto kDecode = MakeDecodeTable();

}  // namespace

size_t MimeEncodedSize(size_t InputSize) { return (InputSize / 3 + (InputSize % 3 != 0 ? 1 : 0)) * 4; }

void MimeEncodeAppend(std::span<const uint8_t> Input, std::string& Output) {
    const size_t start = Output.size();
    Output.resize(start + MimeEncodedSize(Input.size()));
    char* out = Output.data() + start;
    size_t i = 0;
    for (; Input.size() - i >= 3; i += 3) {
        const uint32_t v = (uint32_t{Input[i]} << 16) | (uint32_t{Input[i + 1]} << 8) | Input[i + 2];
        *out++ = kAlphabet[(v >> 18) & 63];
        *out++ = kAlphabet[(v >> 12) & 63];
        *out++ = kAlphabet[(v >> 6) & 63];
        *out++ = kAlphabet[v & 63];
    }
    const size_t rest = Input.size() - i;
    if (rest > 0) {
        const uint32_t v = (uint32_t{Input[i]} << 16) | (rest == 2 ? uint32_t{Input[i + 1]} << 8 : 0u);
        *out++ = kAlphabet[(v >> 18) & 63];
        *out++ = kAlphabet[(v >> 12) & 63];
        *out++ = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        *out++ = '=';
    }
}

std::string MimeEncodeString(std::span<const uint8_t> Input) {
    std::string output;
    MimeEncodeAppend(Input, output);
    return output;
}

std::string MimeEncodeStream(TStream& Input) {
    std::string output;
    const int64_t remaining = Input.Remaining();
    if (remaining > 0) output.reserve(MimeEncodedSize(static_cast<size_t>(remaining)));
    std::array<uint8_t, MIME_BUFFER_SIZE> block{};
    for (;;) {
        // Fill a whole block before encoding: only the last block may be short, or padding
        // would land in the middle of the text.
        size_t filled = 0;
        while (filled < block.size()) {
            const int64_t n = Input.Read(block.data() + filled, static_cast<int64_t>(block.size() - filled));
            if (n <= 0) break;
            filled += static_cast<size_t>(n);
        }
        MimeEncodeAppend(std::span<const uint8_t>(block.data(), filled), output);
        if (filled < block.size()) break;
    }
    return output;
}

bool MimeDecodeString(std::string_view Input, std::string& Output) {
    Output.clear();
    size_t len = Input.size();
    if (len % 4 == 0) {
        // Up to two trailing '=' belong to the last group.
        if (len > 0 && Input[len - 1] == '=') --len;
        if (len > 0 && Input[len - 1] == '=') --len;
    }
    if (len % 4 == 1) return false;
    Output.reserve(len / 4 * 3 + 2);
    uint32_t acc = 0;
    int bits = 0;
    for (size_t i = 0; i < len; ++i) {
        const int8_t d = kDecode[static_cast<uint8_t>(Input[i])];
        if (d < 0) return false;
        acc = (acc << 6) | static_cast<uint32_t>(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            Output += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return true;
}

}  // namespace covrilo
