// SPDX-License-Identifier: MIT
// The five remembered settings and their load/save through one TXMLIni object. These
// variables are the program's shared settings state: the window (or the command-line
// host) keeps them up to date and the batch run reads them.
#pragma once

#include "app/XMLINI.h"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace covrilo {

inline constexpr int32_t kDefaultMaxX = 500;
inline constexpr int32_t kDefaultMaxY = 500;
inline constexpr int32_t kDefaultJpegQuality = 70;
inline constexpr int32_t kDefaultKindOfPic = 1;
inline constexpr int32_t kDefaultTextEncoding = 0;

extern int32_t MaxX;
extern int32_t MaxY;
extern int32_t JpegQuality;
extern int32_t KindOfPic;
extern int32_t TextEncoding;

// Open from LoadSettings until SaveSettings.
extern std::unique_ptr<TXMLIni> SettingsIni;

// Opens FileName (creating the empty document when it is missing) and reads the five
// values; missing or unreadable values take their defaults. When the file can be neither
// read nor created, every value is set to its default and the error is raised.
void LoadSettings(const std::filesystem::path& FileName);

// LoadSettings for a reader that never writes settings back (the command line): the file is
// read (a missing one is still created as the empty document) and closed unchanged.
void ReadSettingsOnce(const std::filesystem::path& FileName);

// Opens FileName for SaveSettings without touching the five values, when SettingsIni is
// not open (LoadSettings failed at start-up, or the settings were saved already): so
// shut-down tries again to keep what the user set. Raises like LoadSettings.
void ReopenSettings(const std::filesystem::path& FileName);

// Writes the five values and the file, then closes SettingsIni. A failed write raises
// (the values stay in memory). Does nothing when LoadSettings did not succeed.
void SaveSettings();

}  // namespace covrilo
