// SPDX-License-Identifier: MIT
#include "id3v2/ID3v2Lang.h"

namespace covrilo {

namespace {

char AsciiLower(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

}  // namespace

const TISO639_2Entry* FindLanguage(std::string_view Code) {
    // Frames often carry "XXX" or three zero bytes; only real letters can match.
    if (Code.size() != 3) return nullptr;
    char key[3];
    for (size_t i = 0; i < 3; ++i) key[i] = AsciiLower(Code[i]);
    for (const TISO639_2Entry& entry : ISO639_2Entries()) {
        if (entry.Code[0] == key[0] && entry.Code[1] == key[1] && entry.Code[2] == key[2]) return &entry;
    }
    return nullptr;
}

bool IsValidLanguageCode(std::string_view Code) { return FindLanguage(Code) != nullptr; }

std::string LanguageName(std::string_view Code) {
    const TISO639_2Entry* entry = FindLanguage(Code);
    return entry != nullptr ? entry->Name : std::string();
}

}  // namespace covrilo
