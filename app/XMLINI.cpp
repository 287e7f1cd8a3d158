// SPDX-License-Identifier: MIT
#include "app/XMLINI.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

#include "app/AtomicFile.h"
#include "io/AsciiText.h"

namespace covrilo {

namespace {

constexpr uintmax_t kMaxFileSize = 16 * 1024 * 1024;

const char* const kEmptyDocument[] = {
    R"(<?xml version="1.0" encoding="windows-1250" ?>)",
    "<!-- Generator: TXMLINI 1.x -->",
    "<xmlini>",
    "</xmlini>",
};

std::string ReplaceAll(std::string Text, const std::string& From, const std::string& To) {
    std::string out;
    out.reserve(Text.size());
    size_t pos = 0;
    for (;;) {
        const size_t hit = Text.find(From, pos);
        if (hit == std::string::npos) break;
        out.append(Text, pos, hit - pos);
        out += To;
        pos = hit + From.size();
    }
    out.append(Text, pos, std::string::npos);
    return out;
}

// The text between the first '>' and the first "</" of a line; empty when either is
// missing or they stand the wrong way round.
std::string ElementText(const std::string& Line) {
    const size_t open = Line.find('>');
    const size_t close = Line.find("</");
    if (open == std::string::npos || close == std::string::npos || close < open + 1) return {};
    return Line.substr(open + 1, close - open - 1);
}

// True when Line holds "<" + Key at its fifth character (first occurrence) followed by a
// blank or '>': the shape of a key line that the readers recognise.
bool IsKeyLine(const std::string& Line, const std::string& Key) {
    const std::string tag = "<" + Key;
    if (Line.find(tag) != 4) return false;
    const size_t after = 4 + tag.size();
    return after < Line.size() && (Line[after] == ' ' || Line[after] == '>');
}

std::vector<std::string> SplitLines(const std::string& Text) {
    std::vector<std::string> lines;
    size_t start = 0;
    size_t pos = 0;
    while (pos < Text.size()) {
        const char c = Text[pos];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(Text, start, pos - start);
            if (c == '\r' && pos + 1 < Text.size() && Text[pos + 1] == '\n') ++pos;
            start = pos + 1;
        }
        ++pos;
    }
    if (start < Text.size()) lines.emplace_back(Text, start, std::string::npos);
    return lines;
}

}  // namespace

TXMLIni::TXMLIni(std::filesystem::path FileName, bool RaiseErrors)
    : fileName_(std::move(FileName)), raiseErrors_(RaiseErrors) {
    std::error_code ec;
    if (std::filesystem::exists(fileName_, ec)) {
        // Only a plain file of sane size is read: a folder or a pipe under that name would
        // fail or block, and a huge file is no settings file.
        if (!std::filesystem::is_regular_file(fileName_, ec)) {
            throw EXMLIniException("Cannot read file " + fileName_.string() + ": not a regular file");
        }
        if (std::filesystem::file_size(fileName_, ec) > kMaxFileSize) {
            throw EXMLIniException("Cannot read file " + fileName_.string() + ": file too large");
        }
        std::ifstream in(fileName_, std::ios::binary);
        if (!in) {
            throw EXMLIniException("Cannot open file " + fileName_.string() + ": " + std::strerror(errno));
        }
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) throw EXMLIniException("Cannot read file " + fileName_.string());
        lines_ = SplitLines(text);
        return;
    }
    lines_.assign(std::begin(kEmptyDocument), std::end(kEmptyDocument));
    UpdateFile();
    if (raiseErrors_) throw EXMLIniException("File not exist. TXMLINI has created a new one.");
}

TXMLIni::~TXMLIni() {
    if (!updateOnDestroy_) return;
    try {
        UpdateFile();
    } catch (...) {
        // A destructor must not throw; callers that need the error call UpdateFile first.
    }
}

void TXMLIni::UpdateFile() const {
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += "\r\n";
    }
    WriteFileReplacing(fileName_, text);
}

int TXMLIni::FindSectionLine(const std::string& Name) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const std::string& line = lines_[i];
        if (line.find('<') != 2) continue;
        // Name plus one more character must fit from the fourth character on.
        if (line.size() - 3 < Name.size() + 1) continue;
        if (line.compare(3, Name.size(), Name) != 0) continue;
        const char next = line[3 + Name.size()];
        if (next == ' ' || next == '>') return static_cast<int>(i);
    }
    return -1;
}

bool TXMLIni::SectionExists(const std::string& Section) const { return FindSectionLine(Section) != -1; }

void TXMLIni::AddSection(const std::string& Section) {
    const std::string name = StripBlanks(Section);
    // The last line is normally "</xmlini>". An empty list just receives the pair in
    // order (inserting before the last line would put the closing line first).
    if (lines_.empty()) {
        lines_.push_back("  <" + name + ">");
        lines_.push_back("  </" + name + ">");
        return;
    }
    lines_.insert(lines_.end() - 1, "  <" + name + ">");
    lines_.insert(lines_.end() - 1, "  </" + name + ">");
}

std::string TXMLIni::ReadString(const std::string& Section, const std::string& Key,
                                const std::string& Default) const {
    std::string result = Default;
    const int open = FindSectionLine(Section);
    const int close = FindSectionLine("/" + Section);
    if (open >= 0 && close >= 0) {
        for (int i = open; i < close; ++i) {
            const std::string& line = lines_[static_cast<size_t>(i)];
            if (IsKeyLine(line, Key)) result = ElementText(line);
        }
    }
    return DecodeValue(result);
}

int32_t TXMLIni::ReadInteger(const std::string& Section, const std::string& Key, int32_t Default) const {
    const std::string text = ReadString(Section, Key, std::to_string(Default));
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    int32_t value = 0;
    const auto [End, Ec] = std::from_chars(first, last, value);
    if (Ec == std::errc() && End == last && first != last) return value;
    if (raiseErrors_) throw EXMLIniException("Error when reading value. Default set as Result");
    return Default;
}

void TXMLIni::WriteString(const std::string& Section, const std::string& Key, const std::string& Value) {
    // Blanks are stripped up front so that the lookups below see the names as stored;
    // otherwise a blank in a name would insert the key at the top of the file.
    const std::string sectionName = StripBlanks(Section);
    const std::string keyName = StripBlanks(Key);
    // DeleteKey runs even when ReadSection lists no such key: a line the readers still
    // take for the key (say " <x<Key>...") would otherwise shadow the value written here.
    DeleteKey(sectionName, keyName);
    if (!SectionExists(sectionName)) AddSection(sectionName);
    const int open = FindSectionLine(sectionName);
    if (open < 0) return;  // unreachable: the section was just added
    lines_.insert(lines_.begin() + open + 1,
                  "    <" + keyName + ">" + EncodeValue(Value) + "</" + keyName + ">");
}

void TXMLIni::WriteInteger(const std::string& Section, const std::string& Key, int32_t Value) {
    WriteString(Section, Key, std::to_string(Value));
}

bool TXMLIni::ValueExists(const std::string& Section, const std::string& Key) const {
    if (!SectionExists(Section)) return false;
    std::vector<std::string> names;
    ReadSection(Section, names);
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& N) { return EqualsNoCase(N, Key); });
}

void TXMLIni::DeleteKey(const std::string& Section, const std::string& Key) {
    // The section is found the way the readers find it. Matching only whole, exact lines
    // ("  <S>") would miss a section line the readers accept ("  <S a=...>"), and the
    // old key line left there would shadow every value written after it.
    const int open = FindSectionLine(Section);
    const int close = FindSectionLine("/" + Section);
    if (open < 0 || close < 0 || close < open) return;
    const std::string plain = "<" + Key + ">";
    for (int i = close; i >= open; --i) {
        const std::string& line = lines_[static_cast<size_t>(i)];
        // Likewise a key line with attributes ("<Key a=...>") reads like a plain one.
        if (line.find(plain) == 4 || IsKeyLine(line, Key)) lines_.erase(lines_.begin() + i);
    }
}

void TXMLIni::ReadSection(const std::string& Section, std::vector<std::string>& Names) const {
    const int open = FindSectionLine(Section);
    const int close = FindSectionLine("/" + Section);
    if (open < 0 || close < 0) return;
    for (int i = close; i >= open; --i) {
        const std::string& line = lines_[static_cast<size_t>(i)];
        if (line.find('<') != 4) continue;
        // Up to the line's first '>'; one standing before the name gives an empty name.
        const size_t gt = line.find('>');
        std::string name = gt == std::string::npos ? line.substr(5)
                           : gt < 5                ? std::string()
                                                   : line.substr(5, gt - 5);
        const size_t blank = name.find(' ');
        if (blank != std::string::npos) name.resize(blank);
        Names.push_back(std::move(name));
    }
}

void TXMLIni::ReadSections(std::vector<std::string>& Names) const {
    for (const auto& line : lines_) {
        if (line.size() < 3) continue;
        std::string rest = line.substr(2, line.size() - 3);
        if (rest.empty() || rest[0] != '<' || rest.find('/') != std::string::npos) continue;
        rest.erase(0, 1);
        const size_t blank = rest.find(' ');
        if (blank != std::string::npos) rest.resize(blank);
        Names.push_back(std::move(rest));
    }
}

void TXMLIni::ReadSectionValues(const std::string& Section, std::vector<std::string>& Values) const {
    const int open = FindSectionLine(Section);
    const int close = FindSectionLine("/" + Section);
    if (open < 0 || close < 0) return;
    for (int i = open + 1; i < close; ++i) Values.push_back(ElementText(lines_[static_cast<size_t>(i)]));
}

std::string TXMLIni::StripBlanks(const std::string& Name) {
    std::string out;
    std::copy_if(Name.begin(), Name.end(), std::back_inserter(out), [](char C) { return C != ' '; });
    return out;
}

std::string TXMLIni::EncodeValue(const std::string& Value) {
    std::string text = ReplaceAll(Value, "&", "&amp;");
    text = ReplaceAll(text, "\"", "&quot;");
    text = ReplaceAll(text, "<", "&lt;");
    text = ReplaceAll(text, ">", "&gt;");
    text = ReplaceAll(text, "\n", "&#10;");
    return ReplaceAll(text, "\r", "&#13;");
}

std::string TXMLIni::DecodeValue(const std::string& Value) {
    // One pass from left to right, so that an encoded "&amp;lt;" comes back as "&lt;"
    // and not as "<": replacing entity by entity over the whole text would decode twice.
    static const std::pair<const char*, char> kEntities[] = {
        {"&amp;", '&'}, {"&quot;", '"'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&#10;", '\n'}, {"&#13;", '\r'},
    };
    std::string out;
    out.reserve(Value.size());
    size_t pos = 0;
    while (pos < Value.size()) {
        bool replaced = false;
        if (Value[pos] == '&') {
            for (const auto& [Entity, Char] : kEntities) {
                if (Value.compare(pos, std::strlen(Entity), Entity) == 0) {
                    out += Char;
                    pos += std::strlen(Entity);
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += Value[pos++];
    }
    return out;
}

}  // namespace covrilo
