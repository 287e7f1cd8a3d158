// SPDX-License-Identifier: MIT
#include "app/XMLINI.h"

#include "app/AtomicFile.h"
#include "io/AsciiText.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

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
    std::string Out;
    Out.reserve(Text.size());
    size_t Pos = 0;
    for (;;) {
        const size_t Hit = Text.find(From, Pos);
        if (Hit == std::string::npos) break;
        Out.append(Text, Pos, Hit - Pos);
        Out += To;
        Pos = Hit + From.size();
    }
    Out.append(Text, Pos, std::string::npos);
    return Out;
}

// The text between the first '>' and the first "</" of a line; empty when either is
// missing or they stand the wrong way round.
std::string ElementText(const std::string& Line) {
    const size_t Open = Line.find('>');
    const size_t Close = Line.find("</");
    if (Open == std::string::npos || Close == std::string::npos || Close < Open + 1) return {};
    return Line.substr(Open + 1, Close - Open - 1);
}

// True when Line holds "<" + Key at its fifth character (first occurrence) followed by a
// blank or '>': the shape of a key line that the readers recognise.
bool IsKeyLine(const std::string& Line, const std::string& Key) {
    const std::string Tag = "<" + Key;
    if (Line.find(Tag) != 4) return false;
    const size_t After = 4 + Tag.size();
    return After < Line.size() && (Line[After] == ' ' || Line[After] == '>');
}

std::vector<std::string> SplitLines(const std::string& Text) {
    std::vector<std::string> Lines;
    size_t Start = 0;
    size_t Pos = 0;
    while (Pos < Text.size()) {
        const char C = Text[Pos];
        if (C == '\r' || C == '\n') {
            Lines.emplace_back(Text, Start, Pos - Start);
            if (C == '\r' && Pos + 1 < Text.size() && Text[Pos + 1] == '\n') ++Pos;
            Start = Pos + 1;
        }
        ++Pos;
    }
    if (Start < Text.size()) Lines.emplace_back(Text, Start, std::string::npos);
    return Lines;
}

}  // namespace

TXMLIni::TXMLIni(std::filesystem::path FileName, bool RaiseErrors)
    : fileName_(std::move(FileName)), raiseErrors_(RaiseErrors) {
    std::error_code Ec;
    if (std::filesystem::exists(fileName_, Ec)) {
        // Only a plain file of sane size is read: a folder or a pipe under that name would
        // fail or block, and a huge file is no settings file.
        if (!std::filesystem::is_regular_file(fileName_, Ec)) {
            throw EXMLIniException("Cannot read file " + fileName_.string() + ": not a regular file");
        }
        if (std::filesystem::file_size(fileName_, Ec) > kMaxFileSize) {
            throw EXMLIniException("Cannot read file " + fileName_.string() + ": file too large");
        }
        std::ifstream In(fileName_, std::ios::binary);
        if (!In) {
            throw EXMLIniException("Cannot open file " + fileName_.string() + ": " + std::strerror(errno));
        }
        const std::string Text((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        if (In.bad()) throw EXMLIniException("Cannot read file " + fileName_.string());
        lines_ = SplitLines(Text);
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
    std::string Text;
    for (const auto& Line : lines_) {
        Text += Line;
        Text += "\r\n";
    }
    WriteFileReplacing(fileName_, Text);
}

int TXMLIni::FindSectionLine(const std::string& Name) const {
    for (size_t I = 0; I < lines_.size(); ++I) {
        const std::string& Line = lines_[I];
        if (Line.find('<') != 2) continue;
        // Name plus one more character must fit from the fourth character on.
        if (Line.size() - 3 < Name.size() + 1) continue;
        if (Line.compare(3, Name.size(), Name) != 0) continue;
        const char Next = Line[3 + Name.size()];
        if (Next == ' ' || Next == '>') return static_cast<int>(I);
    }
    return -1;
}

bool TXMLIni::SectionExists(const std::string& Section) const { return FindSectionLine(Section) != -1; }

void TXMLIni::AddSection(const std::string& Section) {
    const std::string Name = StripBlanks(Section);
    // The last line is normally "</xmlini>". An empty list just receives the pair in
    // order (inserting before the last line would put the closing line first).
    if (lines_.empty()) {
        lines_.push_back("  <" + Name + ">");
        lines_.push_back("  </" + Name + ">");
        return;
    }
    lines_.insert(lines_.end() - 1, "  <" + Name + ">");
    lines_.insert(lines_.end() - 1, "  </" + Name + ">");
}

std::string TXMLIni::ReadString(const std::string& Section, const std::string& Key,
                                const std::string& Default) const {
    std::string Result = Default;
    const int Open = FindSectionLine(Section);
    const int Close = FindSectionLine("/" + Section);
    if (Open >= 0 && Close >= 0) {
        for (int I = Open; I < Close; ++I) {
            const std::string& Line = lines_[static_cast<size_t>(I)];
            if (IsKeyLine(Line, Key)) Result = ElementText(Line);
        }
    }
    return DecodeValue(Result);
}

int32_t TXMLIni::ReadInteger(const std::string& Section, const std::string& Key, int32_t Default) const {
    const std::string Text = ReadString(Section, Key, std::to_string(Default));
    const char* First = Text.data();
    const char* Last = Text.data() + Text.size();
    if (First != Last && *First == '+') ++First;
    int32_t Value = 0;
    const auto [End, Ec] = std::from_chars(First, Last, Value);
    if (Ec == std::errc() && End == Last && First != Last) return Value;
    if (raiseErrors_) throw EXMLIniException("Error when reading value. Default set as Result");
    return Default;
}

void TXMLIni::WriteString(const std::string& Section, const std::string& Key, const std::string& Value) {
    // Blanks are stripped up front so that the lookups below see the names as stored;
    // otherwise a blank in a name would insert the key at the top of the file.
    const std::string SectionName = StripBlanks(Section);
    const std::string KeyName = StripBlanks(Key);
    // DeleteKey runs even when ReadSection lists no such key: a line the readers still
    // take for the key (say " <x<Key>...") would otherwise shadow the value written here.
    DeleteKey(SectionName, KeyName);
    if (!SectionExists(SectionName)) AddSection(SectionName);
    const int Open = FindSectionLine(SectionName);
    if (Open < 0) return;  // unreachable: the section was just added
    lines_.insert(lines_.begin() + Open + 1, "    <" + KeyName + ">" + EncodeValue(Value) + "</" + KeyName + ">");
}

void TXMLIni::WriteInteger(const std::string& Section, const std::string& Key, int32_t Value) {
    WriteString(Section, Key, std::to_string(Value));
}

bool TXMLIni::ValueExists(const std::string& Section, const std::string& Key) const {
    if (!SectionExists(Section)) return false;
    std::vector<std::string> Names;
    ReadSection(Section, Names);
    return std::any_of(Names.begin(), Names.end(), [&](const std::string& N) { return EqualsNoCase(N, Key); });
}

void TXMLIni::DeleteKey(const std::string& Section, const std::string& Key) {
    // The section is found the way the readers find it. Matching only whole, exact lines
    // ("  <S>") would miss a section line the readers accept ("  <S a=...>"), and the
    // old key line left there would shadow every value written after it.
    const int Open = FindSectionLine(Section);
    const int Close = FindSectionLine("/" + Section);
    if (Open < 0 || Close < 0 || Close < Open) return;
    const std::string Plain = "<" + Key + ">";
    for (int I = Close; I >= Open; --I) {
        const std::string& Line = lines_[static_cast<size_t>(I)];
        // Likewise a key line with attributes ("<Key a=...>") reads like a plain one.
        if (Line.find(Plain) == 4 || IsKeyLine(Line, Key)) lines_.erase(lines_.begin() + I);
    }
}

void TXMLIni::ReadSection(const std::string& Section, std::vector<std::string>& Names) const {
    const int Open = FindSectionLine(Section);
    const int Close = FindSectionLine("/" + Section);
    if (Open < 0 || Close < 0) return;
    for (int I = Close; I >= Open; --I) {
        const std::string& Line = lines_[static_cast<size_t>(I)];
        if (Line.find('<') != 4) continue;
        // Up to the line's first '>'; one standing before the name gives an empty name.
        const size_t Gt = Line.find('>');
        std::string Name = Gt == std::string::npos ? Line.substr(5) : Gt < 5 ? std::string() : Line.substr(5, Gt - 5);
        const size_t Blank = Name.find(' ');
        if (Blank != std::string::npos) Name.resize(Blank);
        Names.push_back(std::move(Name));
    }
}

void TXMLIni::ReadSections(std::vector<std::string>& Names) const {
    for (const auto& Line : lines_) {
        if (Line.size() < 3) continue;
        std::string Rest = Line.substr(2, Line.size() - 3);
        if (Rest.empty() || Rest[0] != '<' || Rest.find('/') != std::string::npos) continue;
        Rest.erase(0, 1);
        const size_t Blank = Rest.find(' ');
        if (Blank != std::string::npos) Rest.resize(Blank);
        Names.push_back(std::move(Rest));
    }
}

void TXMLIni::ReadSectionValues(const std::string& Section, std::vector<std::string>& Values) const {
    const int Open = FindSectionLine(Section);
    const int Close = FindSectionLine("/" + Section);
    if (Open < 0 || Close < 0) return;
    for (int I = Open + 1; I < Close; ++I) Values.push_back(ElementText(lines_[static_cast<size_t>(I)]));
}

std::string TXMLIni::StripBlanks(const std::string& Name) {
    std::string Out;
    std::copy_if(Name.begin(), Name.end(), std::back_inserter(Out), [](char C) { return C != ' '; });
    return Out;
}

std::string TXMLIni::EncodeValue(const std::string& Value) {
    std::string Text = ReplaceAll(Value, "&", "&amp;");
    Text = ReplaceAll(Text, "\"", "&quot;");
    Text = ReplaceAll(Text, "<", "&lt;");
    Text = ReplaceAll(Text, ">", "&gt;");
    Text = ReplaceAll(Text, "\n", "&#10;");
    return ReplaceAll(Text, "\r", "&#13;");
}

std::string TXMLIni::DecodeValue(const std::string& Value) {
    // One pass from left to right, so that an encoded "&amp;lt;" comes back as "&lt;"
    // and not as "<": replacing entity by entity over the whole text would decode twice.
    static const std::pair<const char*, char> kEntities[] = {
        {"&amp;", '&'}, {"&quot;", '"'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&#10;", '\n'}, {"&#13;", '\r'},
    };
    std::string Out;
    Out.reserve(Value.size());
    size_t Pos = 0;
    while (Pos < Value.size()) {
        bool Replaced = false;
        if (Value[Pos] == '&') {
            for (const auto& [Entity, Char] : kEntities) {
                if (Value.compare(Pos, std::strlen(Entity), Entity) == 0) {
                    Out += Char;
                    Pos += std::strlen(Entity);
                    Replaced = true;
                    break;
                }
            }
        }
        if (!Replaced) Out += Value[Pos++];
    }
    return Out;
}

}  // namespace covrilo
