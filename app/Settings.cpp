// SPDX-License-Identifier: MIT
#include "app/Settings.h"

#include <algorithm>

namespace covrilo {

int32_t MaxX = kDefaultMaxX;
int32_t MaxY = kDefaultMaxY;
int32_t JpegQuality = kDefaultJpegQuality;
int32_t KindOfPic = kDefaultKindOfPic;
int32_t TextEncoding = kDefaultTextEncoding;

std::unique_ptr<TXMLIni> SettingsIni;

namespace {
const char* const kImageSection = "ImageSettings";
const char* const kId3Section = "Id3Settings";
}  // namespace

void LoadSettings(const std::filesystem::path& FileName) {
    MaxX = kDefaultMaxX;
    MaxY = kDefaultMaxY;
    JpegQuality = kDefaultJpegQuality;
    KindOfPic = kDefaultKindOfPic;
    TextEncoding = kDefaultTextEncoding;
    SettingsIni.reset();
    SettingsIni = std::make_unique<TXMLIni>(FileName, false);
    MaxX = SettingsIni->ReadInteger(kImageSection, "MaxX", kDefaultMaxX);
    MaxY = SettingsIni->ReadInteger(kImageSection, "MaxY", kDefaultMaxY);
    JpegQuality = SettingsIni->ReadInteger(kImageSection, "JpegQuality", kDefaultJpegQuality);
    KindOfPic = SettingsIni->ReadInteger(kId3Section, "KindOfPic", kDefaultKindOfPic);
    TextEncoding = SettingsIni->ReadInteger(kId3Section, "TextEncoding", kDefaultTextEncoding);
}

namespace {

// What ReadSettingsOnce checks of one key.
struct TKeyRule {
    const char* Section;
    const char* Key;
    int32_t* Value;
    int32_t Default;
    int32_t Low, High;
    const char* OutsideMeans;  // for the keys that are not clamped: what a value outside means
};

bool MentionsKey(const std::vector<std::string>& Lines, const std::string& Key) {
    auto lower = [](std::string Text) {
        for (char& c : Text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return Text;
    };
    const std::string wanted = lower("<" + Key);
    for (const std::string& line : Lines) {
        const std::string text = lower(line);
        for (size_t at = text.find(wanted); at != std::string::npos; at = text.find(wanted, at + 1)) {
            const size_t after = at + wanted.size();
            if (after >= text.size() || text[after] == '>' || text[after] == ' ') return true;
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> ReadSettingsOnce(const std::filesystem::path& FileName) {
    std::error_code ec;
    const bool present = std::filesystem::exists(FileName, ec);
    struct TClose {
        ~TClose() {
            if (SettingsIni) SettingsIni->SetUpdateOnDestroy(false);
            SettingsIni.reset();
        }
    } close;
    LoadSettings(FileName);
    std::vector<std::string> warnings;
    if (!present) return warnings;

    const TKeyRule rules[] = {
        {kImageSection, "MaxX", &MaxX, kDefaultMaxX, kMinPictureSide, kMaxPictureSide, nullptr},
        {kImageSection, "MaxY", &MaxY, kDefaultMaxY, kMinPictureSide, kMaxPictureSide, nullptr},
        {kImageSection, "JpegQuality", &JpegQuality, kDefaultJpegQuality, kMinJpegQuality, kMaxJpegQuality,
         nullptr},
        {kId3Section, "KindOfPic", &KindOfPic, kDefaultKindOfPic, 0, kKindCount - 1,
         "the kind Other is used"},
        {kId3Section, "TextEncoding", &TextEncoding, kDefaultTextEncoding, 0, kTextEncodingCount - 1,
         "ID3v2.3 ISO-8859-1 is used"},
    };
    const TXMLIni& ini = *SettingsIni;
    std::vector<std::string> unreadable;
    bool anyRead = false;
    for (const TKeyRule& rule : rules) {
        // A value no line of the format holds, though the file names the key.
        const std::string none = "\x01";
        if (ini.ReadString(rule.Section, rule.Key, none) == none) {
            if (MentionsKey(ini.Lines(), rule.Key)) unreadable.push_back(rule.Key);
            continue;
        }
        anyRead = true;
        const std::string text = ini.ReadString(rule.Section, rule.Key, "");
        // TXMLIni's own conversion: a value it cannot read gives whichever default it is asked for.
        if (ini.ReadInteger(rule.Section, rule.Key, 0) == 0 &&
            ini.ReadInteger(rule.Section, rule.Key, 1) == 1) {
            warnings.push_back(std::string(rule.Key) + " \"" + text +
                               "\" is not a whole number; the default " + std::to_string(rule.Default) +
                               " is used");
            continue;
        }
        const int32_t value = *rule.Value;
        if (value >= rule.Low && value <= rule.High) continue;
        const std::string range = std::to_string(rule.Low) + ".." + std::to_string(rule.High);
        if (rule.OutsideMeans != nullptr) {
            warnings.push_back(std::string(rule.Key) + " " + std::to_string(value) + " is outside " + range +
                               "; " + rule.OutsideMeans + ", as in the window");
            continue;
        }
        *rule.Value = std::clamp(value, rule.Low, rule.High);
        warnings.push_back(std::string(rule.Key) + " " + std::to_string(value) + " is outside " + range +
                           "; " + std::to_string(*rule.Value) + " is used, as in the window");
    }
    const char* const format =
        "the line format (one element on each line, sections indented by two blanks, keys by four)";
    if (!unreadable.empty() && !anyRead) {
        warnings.insert(warnings.begin(), std::string("the file cannot be read: it is not in ") + format +
                                              "; the defaults are used");
    } else {
        for (const std::string& key : unreadable)
            warnings.push_back("the line of " + key + " is not in " + format + "; its default is used");
    }
    return warnings;
}

void ReopenSettings(const std::filesystem::path& FileName) {
    if (!SettingsIni) SettingsIni = std::make_unique<TXMLIni>(FileName, false);
}

void SaveSettings() {
    if (!SettingsIni) return;
    SettingsIni->WriteInteger(kImageSection, "MaxX", MaxX);
    SettingsIni->WriteInteger(kImageSection, "MaxY", MaxY);
    SettingsIni->WriteInteger(kImageSection, "JpegQuality", JpegQuality);
    SettingsIni->WriteInteger(kId3Section, "KindOfPic", KindOfPic);
    SettingsIni->WriteInteger(kId3Section, "TextEncoding", TextEncoding);
    SettingsIni->UpdateFile();
    SettingsIni.reset();
}

}  // namespace covrilo
