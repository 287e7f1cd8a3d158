// SPDX-License-Identifier: MIT
#include "io/AsciiText.h"

#include <algorithm>

namespace covrilo {

namespace {

std::string_view TrimLeftView(std::string_view Text) {
    while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
    return Text;
}

std::string_view TrimRightView(std::string_view Text) {
    while (!Text.empty() && IsBlank(Text.back())) Text.remove_suffix(1);
    return Text;
}

char LowerAscii(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

}  // namespace

std::string_view TrimView(std::string_view Text) { return TrimRightView(TrimLeftView(Text)); }
std::string Trim(std::string_view Text) { return std::string(TrimView(Text)); }
std::string TrimLeft(std::string_view Text) { return std::string(TrimLeftView(Text)); }
std::string TrimRight(std::string_view Text) { return std::string(TrimRightView(Text)); }

char UpperAscii(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C; }

std::string UpperAscii(std::string_view Text) {
    std::string out(Text);
    for (char& c : out) c = UpperAscii(c);
    return out;
}

std::u16string UpperAscii(std::u16string_view Text) {
    std::u16string out(Text);
    for (char16_t& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

std::string LowerAscii(std::string_view Text) {
    std::string out(Text);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

bool EqualsNoCase(std::string_view A, std::string_view B) {
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(),
                                              [](char X, char Y) { return UpperAscii(X) == UpperAscii(Y); });
}

}  // namespace covrilo
