// SPDX-License-Identifier: MIT
// The five remembered settings and their load/save through one TXMLIni object. These
// variables are the program's shared settings state: the window (or the command-line
// host) keeps them up to date and the batch run reads them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/XMLINI.h"

namespace covrilo {

inline constexpr int32_t kDefaultMaxX = 500;
inline constexpr int32_t kDefaultMaxY = 500;
inline constexpr int32_t kDefaultJpegQuality = 70;
inline constexpr int32_t kDefaultKindOfPic = 1;
inline constexpr int32_t kDefaultTextEncoding = 0;

// The ranges the window's controls hold the values in.
inline constexpr int32_t kMinPictureSide = 20;
inline constexpr int32_t kMaxPictureSide = 9999;
inline constexpr int32_t kMinJpegQuality = 1;
inline constexpr int32_t kMaxJpegQuality = 100;
inline constexpr int32_t kKindCount = 19;         // KindOfPic 0..18; any other value means "Other"
inline constexpr int32_t kTextEncodingCount = 3;  // TextEncoding 0..2; any other keeps ID3v2.3 ISO-8859-1

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
// read (a missing one is still created as the empty document) and closed unchanged. The
// values are brought into the window's ranges. Returns a sentence for everything in the file
// that could not be used as it stands: a value outside its range (and what is used instead),
// a value that is no whole number, a key whose line is not in the line format (tab-indented,
// or the whole file on one line), so that the user learns why a setting does not count.
std::vector<std::string> ReadSettingsOnce(const std::filesystem::path& FileName);

// Opens FileName for SaveSettings without touching the five values, when SettingsIni is
// not open (LoadSettings failed at start-up, or the settings were saved already): so
// shut-down tries again to keep what the user set. Raises like LoadSettings.
void ReopenSettings(const std::filesystem::path& FileName);

// Writes the five values and the file, then closes SettingsIni. A failed write raises
// (the values stay in memory). Does nothing when LoadSettings did not succeed.
void SaveSettings();

}  // namespace covrilo
