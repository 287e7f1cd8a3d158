// SPDX-License-Identifier: MIT
#include "app/Settings.h"

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

void ReadSettingsOnce(const std::filesystem::path& FileName) {
    struct TClose {
        ~TClose() {
            if (SettingsIni) SettingsIni->SetUpdateOnDestroy(false);
            SettingsIni.reset();
        }
    } close;
    LoadSettings(FileName);
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
