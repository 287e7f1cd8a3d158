// SPDX-License-Identifier: MIT
// ASCII helpers for one-byte text of the tag formats. Case folding touches only 'a'..'z'
// and 'A'..'Z', never the locale: keys and names of the formats are ASCII, and a byte
// from 0x80 up is text of the system code page that must come through unchanged.
#pragma once

#include <string>
#include <string_view>

namespace covrilo {

// Spaces, control characters and zero bytes (every byte up to 0x20) count as blanks.
inline bool IsBlank(char C) { return static_cast<unsigned char>(C) <= 0x20; }

// Text without its blanks at both ends / the start / the end.
std::string_view TrimView(std::string_view Text);
std::string Trim(std::string_view Text);
std::string TrimLeft(std::string_view Text);
std::string TrimRight(std::string_view Text);

char UpperAscii(char C);
std::string UpperAscii(std::string_view Text);
std::u16string UpperAscii(std::u16string_view Text);
std::string LowerAscii(std::string_view Text);

bool EqualsNoCase(std::string_view A, std::string_view B);

}  // namespace covrilo
