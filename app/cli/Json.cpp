// SPDX-License-Identifier: MIT
#include "app/cli/Json.h"

#include <cstdio>

#include "io/TextConversion.h"

namespace covrilo::cli {

std::string JsonString(std::string_view Utf8) {
    std::string out = "\"";
    for (char ch : Utf8) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

std::string JsonString(std::u16string_view Text) { return JsonString(WideToUtf8(Text)); }

}  // namespace covrilo::cli
