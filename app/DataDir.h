// SPDX-License-Identifier: MIT
// The data directory: where "settings.xml" and the prepared cover picture "temp.jpg" live.
// It is the program's own directory when that is writable and either already holds a
// "settings.xml" (portable use) or lies in the build tree the program was built in;
// otherwise $XDG_CONFIG_HOME/covrilo/ (default ~/.config/covrilo/), created on demand. So an
// installed program keeps its files per user, also when root runs it from a bin/ that root
// could write to.
#pragma once

#include <filesystem>
#include <string>

namespace covrilo {

inline constexpr const char* kSettingsFileName = "settings.xml";
inline constexpr const char* kTempPictureFileName = "temp.jpg";

// What the choice depends on; taken from the process by CurrentDataDirEnvironment.
struct TDataDirEnvironment {
    std::filesystem::path ProgramDir;  // empty when unknown
    std::filesystem::path BuildTree;   // the build tree of this program; empty for none
    std::string XdgConfigHome;         // $XDG_CONFIG_HOME, empty when unset
    std::string Home;                  // $HOME, or the account's home directory
};

// The directory holding the running executable; empty when it cannot be found.
std::filesystem::path ProgramDirectory();
TDataDirEnvironment CurrentDataDirEnvironment();

// The data directory for Env: ProgramDir when it is a writable directory that holds a
// settings.xml or lies inside BuildTree, otherwise the per-user configuration folder,
// which is created when missing unless Create is false (a failure to create it shows later,
// when a file is written there). A relative $XDG_CONFIG_HOME is ignored.
std::filesystem::path ChooseDataDir(const TDataDirEnvironment& Env, bool Create = true);
std::filesystem::path DataDir(bool Create = true);

// With an explicit settings file the data directory is that file's folder.
std::filesystem::path DataDirForSettingsFile(const std::filesystem::path& SettingsFile);

}  // namespace covrilo
