// SPDX-License-Identifier: MIT
// Language codes of comment and lyrics frames, checked against the ISO 639-2 list.
// Frames keep their three language bytes as they stand; these helpers only describe them.
#pragma once

#include <string>
#include <string_view>

#include "id3v2/ISO_639_2.h"

namespace covrilo {

// The list row of a three-letter code, letters compared without regard to case; null if none.
const TISO639_2Entry* FindLanguage(std::string_view Code);
// True when Code is a three-letter code of the list ("eng", "ger", "deu", ...).
bool IsValidLanguageCode(std::string_view Code);
// The English name of a code; "" for an unknown code.
std::string LanguageName(std::string_view Code);

}  // namespace covrilo
