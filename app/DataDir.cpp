// SPDX-License-Identifier: MIT
#include "app/DataDir.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace covrilo {

namespace {

std::string EnvValue(const char* Name) {
    const char* value = std::getenv(Name);
    return value ? std::string(value) : std::string();
}

std::string AccountHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = 16384;
    std::vector<char> buffer(static_cast<size_t>(size));
    struct passwd entry {};
    struct passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir) {
        return result->pw_dir;
    }
    return {};
}

bool IsWritableDirectory(const std::filesystem::path& Dir) {
    std::error_code ec;
    return !Dir.empty() && std::filesystem::is_directory(Dir, ec) && ::access(Dir.c_str(), W_OK | X_OK) == 0;
}

// Dir is Root or lies below it (both resolved, so links and ".." do not fool the test).
bool IsWithin(const std::filesystem::path& Dir, const std::filesystem::path& Root) {
    if (Dir.empty() || Root.empty()) return false;
    std::error_code ec;
    const auto canonicalDir = std::filesystem::weakly_canonical(Dir, ec);
    if (ec) return false;
    const auto canonicalRoot = std::filesystem::weakly_canonical(Root, ec);
    if (ec) return false;
    const auto relative = canonicalDir.lexically_relative(canonicalRoot);
    return !relative.empty() && *relative.begin() != "..";
}

bool IsPortableDir(const TDataDirEnvironment& Env) {
    if (!IsWritableDirectory(Env.ProgramDir)) return false;
    std::error_code ec;
    return std::filesystem::exists(Env.ProgramDir / kSettingsFileName, ec) ||
           IsWithin(Env.ProgramDir, Env.BuildTree);
}

}  // namespace

std::filesystem::path ProgramDirectory() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path();
}

TDataDirEnvironment CurrentDataDirEnvironment() {
    TDataDirEnvironment env;
    env.ProgramDir = ProgramDirectory();
#ifdef COVRILO_BUILD_TREE
    env.BuildTree = COVRILO_BUILD_TREE;
#endif
    env.XdgConfigHome = EnvValue("XDG_CONFIG_HOME");
    env.Home = EnvValue("HOME");
    if (env.Home.empty()) env.Home = AccountHome();
    return env;
}

std::filesystem::path ChooseDataDir(const TDataDirEnvironment& Env, bool Create) {
    if (IsPortableDir(Env)) return Env.ProgramDir;
    std::filesystem::path base;
    const std::filesystem::path xdg = Env.XdgConfigHome;
    if (!xdg.empty() && xdg.is_absolute()) {
        base = xdg;
    } else if (!Env.Home.empty()) {
        base = std::filesystem::path(Env.Home) / ".config";
    } else {
        // Nowhere better to go: the working directory.
        std::error_code ec;
        base = std::filesystem::current_path(ec) / ".config";
    }
    const auto dir = base / "covrilo";
    std::error_code ec;
    if (Create) std::filesystem::create_directories(dir, ec);
    return dir;
}

std::filesystem::path DataDir(bool Create) { return ChooseDataDir(CurrentDataDirEnvironment(), Create); }

std::filesystem::path DataDirForSettingsFile(const std::filesystem::path& SettingsFile) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(SettingsFile, ec);
    return (ec ? SettingsFile : absolute).parent_path();
}

}  // namespace covrilo
