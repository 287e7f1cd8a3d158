// SPDX-License-Identifier: MIT
#include "app/DataDir.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace covrilo {

namespace {

std::string EnvValue(const char* Name) {
    const char* Value = std::getenv(Name);
    return Value ? std::string(Value) : std::string();
}

std::string AccountHome() {
    long Size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (Size <= 0) Size = 16384;
    std::vector<char> Buffer(static_cast<size_t>(Size));
    struct passwd Entry {};
    struct passwd* Result = nullptr;
    if (::getpwuid_r(::getuid(), &Entry, Buffer.data(), Buffer.size(), &Result) == 0 && Result && Result->pw_dir) {
        return Result->pw_dir;
    }
    return {};
}

bool IsWritableDirectory(const std::filesystem::path& Dir) {
    std::error_code Ec;
    return !Dir.empty() && std::filesystem::is_directory(Dir, Ec) && ::access(Dir.c_str(), W_OK | X_OK) == 0;
}

// Dir is Root or lies below it (both resolved, so links and ".." do not fool the test).
bool IsWithin(const std::filesystem::path& Dir, const std::filesystem::path& Root) {
    if (Dir.empty() || Root.empty()) return false;
    std::error_code Ec;
    const auto CanonicalDir = std::filesystem::weakly_canonical(Dir, Ec);
    if (Ec) return false;
    const auto CanonicalRoot = std::filesystem::weakly_canonical(Root, Ec);
    if (Ec) return false;
    const auto Relative = CanonicalDir.lexically_relative(CanonicalRoot);
    return !Relative.empty() && *Relative.begin() != "..";
}

bool IsPortableDir(const TDataDirEnvironment& Env) {
    if (!IsWritableDirectory(Env.ProgramDir)) return false;
    std::error_code Ec;
    return std::filesystem::exists(Env.ProgramDir / kSettingsFileName, Ec) || IsWithin(Env.ProgramDir, Env.BuildTree);
}

}  // namespace

std::filesystem::path ProgramDirectory() {
    std::error_code Ec;
    const auto Exe = std::filesystem::read_symlink("/proc/self/exe", Ec);
    if (Ec) return {};
    return Exe.parent_path();
}

TDataDirEnvironment CurrentDataDirEnvironment() {
    TDataDirEnvironment Env;
    Env.ProgramDir = ProgramDirectory();
#ifdef COVRILO_BUILD_TREE
    Env.BuildTree = COVRILO_BUILD_TREE;
#endif
    Env.XdgConfigHome = EnvValue("XDG_CONFIG_HOME");
    Env.Home = EnvValue("HOME");
    if (Env.Home.empty()) Env.Home = AccountHome();
    return Env;
}

std::filesystem::path ChooseDataDir(const TDataDirEnvironment& Env, bool Create) {
    if (IsPortableDir(Env)) return Env.ProgramDir;
    std::filesystem::path Base;
    const std::filesystem::path Xdg = Env.XdgConfigHome;
    if (!Xdg.empty() && Xdg.is_absolute()) {
        Base = Xdg;
    } else if (!Env.Home.empty()) {
        Base = std::filesystem::path(Env.Home) / ".config";
    } else {
        // Nowhere better to go: the working directory.
        std::error_code Ec;
        Base = std::filesystem::current_path(Ec) / ".config";
    }
    const auto Dir = Base / "covrilo";
    std::error_code Ec;
    if (Create) std::filesystem::create_directories(Dir, Ec);
    return Dir;
}

std::filesystem::path DataDir(bool Create) { return ChooseDataDir(CurrentDataDirEnvironment(), Create); }

std::filesystem::path DataDirForSettingsFile(const std::filesystem::path& SettingsFile) {
    std::error_code Ec;
    const auto Absolute = std::filesystem::absolute(SettingsFile, Ec);
    return (Ec ? SettingsFile : Absolute).parent_path();
}

}  // namespace covrilo
