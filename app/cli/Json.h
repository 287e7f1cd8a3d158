// SPDX-License-Identifier: MIT
// Minimal JSON text output for `covrilo-cli info --json` (UTF-8, escaped strings).
#pragma once

#include <string>
#include <string_view>

namespace covrilo::cli {

// A JSON string literal, quotes included; control characters escaped as \u00XX.
std::string JsonString(std::string_view Utf8);
std::string JsonString(std::u16string_view Text);

}  // namespace covrilo::cli
