// SPDX-License-Identifier: MIT
// Conversions between UTF-16 (wide strings), UTF-8, Latin-1 and the system code page.
// The system code page is Windows-1252, fixed, whatever the locale says, so one-byte tag
// fields read the same everywhere. Characters a one-byte set lacks become '?'.
#pragma once

#include <string>
#include <string_view>

namespace covrilo {

// Windows-1252 <-> UTF-16. Undefined 1252 bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the
// C1 control of the same value, as the system conversion does.
std::u16string AnsiToWide(std::string_view Text);
std::string WideToAnsi(std::u16string_view Text);

// ISO-8859-1 <-> UTF-16 (characters above U+00FF become '?').
std::u16string Latin1ToWide(std::string_view Text);
std::string WideToLatin1(std::u16string_view Text);

// UTF-8 <-> UTF-16. Malformed UTF-8 sequences decode to U+FFFD; unpaired surrogates
// encode as U+FFFD.
std::u16string Utf8ToWide(std::string_view Text);
std::string WideToUtf8(std::u16string_view Text);

// Whether Text is well-formed UTF-8 (decoding it needs no U+FFFD), and whether UTF-8 can hold
// a wide text (it has no unpaired surrogates).
bool IsValidUtf8(std::string_view Text);
bool FitsUtf8(std::u16string_view Text);

// UTF-8 <-> system code page.
std::string Utf8ToAnsi(std::string_view Text);
std::string AnsiToUtf8(std::string_view Text);

// Number of bytes WideToUtf8 produces for Text.
size_t Utf8Length(std::u16string_view Text);

}  // namespace covrilo
