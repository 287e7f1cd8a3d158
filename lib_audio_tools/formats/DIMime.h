// SPDX-License-Identifier: MIT
// Base64 (RFC 4648 alphabet, '=' padding, no line breaks) for pictures stored in text
// comments. Encoding works block by block so that a large picture is never held twice as
// one big intermediate buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace covrilo {

class TStream;

// Input bytes per encoding block (57 * 48); every block but the last encodes to exactly
// MIME_BUFFER_SIZE_ENCODED characters without padding.
inline constexpr size_t MIME_BUFFER_SIZE = 2736;
inline constexpr size_t MIME_BUFFER_SIZE_ENCODED = 3648;

// Characters produced for InputSize bytes: 4 * ceil(InputSize / 3).
size_t MimeEncodedSize(size_t InputSize);

// Appends the Base64 text of Input to Output.
void MimeEncodeAppend(std::span<const uint8_t> Input, std::string& Output);
std::string MimeEncodeString(std::span<const uint8_t> Input);

// Encodes everything from Input's position to its end, MIME_BUFFER_SIZE bytes at a time.
std::string MimeEncodeStream(TStream& Input);

// Decodes Base64 text (padding optional, no other characters allowed). Returns false on
// malformed input, leaving Output unspecified.
bool MimeDecodeString(std::string_view Input, std::string& Output);

}  // namespace covrilo
