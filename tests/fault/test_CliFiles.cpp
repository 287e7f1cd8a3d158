// SPDX-License-Identifier: MIT
// What covrilo-cli does to the files around a save, as root and as an unprivileged user
// (setpriv): a rewrite keeps owner, group, mode, extended attributes, hard links and holes;
// files of others beside it stay; each file that cannot be saved gets Error with its
// reason and the run goes on; names with a newline or a tab stay one line; the settings
// file is never written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FaultTestUtil.h"

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

struct stat Stat(const fs::path& File) {
    struct stat st {};
    EXPECT_EQ(::lstat(File.c_str(), &st), 0) << File;
    return st;
}

std::vector<std::string> Names(const fs::path& Dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class CliFiles : public ::testing::Test {
   protected:
    void SetUp() override {
        if (std::string(kCli).empty()) GTEST_SKIP() << "covrilo-cli is not built";
        fs::permissions(side_.Path(), fs::perms::all);
        WriteFileBytes(side_ / "cover.jpg", Jpeg(120, 120, 3));
        fs::permissions(side_ / "cover.jpg", fs::perms(0644));
        audio_ = Audio(120);
        // A small tag: the cover makes it grow, so the file is rewritten.
        growing_ = Concat({Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title")}, 64), audio_});
        Bytes oldCover = ReadFileBytes(side_ / "cover.jpg");
        oldCover.resize(oldCover.size() + 1500, 0x5A);
        fitting_ = Concat({Tag23({Text23("TPE1", "Artist"), Apic23(3, oldCover)}, 200), audio_});
    }
    std::vector<std::string> Args(const std::string& Command, const std::vector<fs::path>& Files) const {
        std::vector<std::string> args = {Command, "--settings", (side_ / "settings.xml").string()};
        if (Command == "add") args.insert(args.end(), {"--cover", (side_ / "cover.jpg").string()});
        for (const fs::path& f : Files) args.push_back(f.string());
        return args;
    }
    // A folder the unprivileged user may work in.
    static void OpenToAll(const TempDir& Dir) { fs::permissions(Dir.Path(), fs::perms::all); }

    TempDir side_;
    Bytes audio_, growing_, fitting_;
};

// ---- what a rewrite keeps ----------------------------------------------------------------------

// The users a test runs covrilo-cli as: as we are, and (when we are root) as user 65534.
std::vector<std::vector<std::string>> Users() {
    std::vector<std::vector<std::string>> users = {{}};
    if (::geteuid() == 0) {
        if (const auto prefix = AsUnprivileged())
            users.push_back(*prefix);
        else
            std::cout << "[ SKIPPED ] cannot run covrilo-cli as user 65534 here: only as root\n";
    }
    return users;
}

TEST_F(CliFiles, ARewriteKeepsOwnerModeAttributesAndHoles) {
    for (const std::vector<std::string>& prefix : Users()) {
        SCOPED_TRACE(prefix.empty() ? "as we are" : "as user 65534");
        TempDir dir;
        OpenToAll(dir);
        const fs::path file = dir / "song.mp3";
        WriteFileBytes(file, growing_);
        ASSERT_EQ(::chmod(file.c_str(), 0604), 0);
        // Root tags another user's file: it stays that user's. The unprivileged user tags
        // its own.
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
        }
        const bool xattrs = ::setxattr(file.c_str(), "user.covrilo.note", "kept", 4, 0) == 0;
        const struct stat before = Stat(file);
        const TCliResult run = RunCovriloCli(Args("add", {file}), {}, dir / "run", prefix);
        ASSERT_EQ(run.StatusOf(file), "OK") << run.Describe();
        const struct stat after = Stat(file);
        EXPECT_NE(after.st_ino, before.st_ino) << "expected a rewrite";
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(after.st_mode & 07777, 0604u);
        if (xattrs) {
            char value[8] = {};
            EXPECT_EQ(::getxattr(file.c_str(), "user.covrilo.note", value, sizeof value), 4);
            EXPECT_EQ(std::string(value, 4), "kept");
        } else {
            std::cout << "[ SKIPPED ] no user.* attributes on this file system\n";
        }
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"song.mp3"});

        // A sparse file stays sparse.
        const fs::path sparse = dir / "sparse.mp3";
        {
            const int fd = ::open(sparse.c_str(), O_RDWR | O_CREAT, 0666);
            ASSERT_EQ(::pwrite(fd, growing_.data(), growing_.size(), 0),
                      static_cast<ssize_t>(growing_.size()));
            ASSERT_EQ(::pwrite(fd, audio_.data(), audio_.size(), 32 << 20),
                      static_cast<ssize_t>(audio_.size()));
            ::close(fd);
        }
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(sparse.c_str(), 65534, 65534), 0);
        }
        if (Stat(sparse).st_blocks * 512 > 8 << 20) {
            std::cout << "[ SKIPPED ] no holes on this file system\n";
            continue;
        }
        const TCliResult sparseRun = RunCovriloCli(Args("add", {sparse}), {}, dir / "run", prefix);
        ASSERT_EQ(sparseRun.StatusOf(sparse), "OK") << sparseRun.Describe();
        EXPECT_LT(Stat(sparse).st_blocks * 512, 8 << 20) << "the hole was written out";
    }
}

TEST_F(CliFiles, WhereTheKernelCannotCopyTheAudioABufferDoesItHolesAndAll) {
#ifdef COVRILO_FAULT_SHIM
    // copy_file_range refused as between two file systems (EXDEV) or by an old kernel (ENOSYS):
    // the rewrite copies through its buffer, to the same bytes, and a hole stays a hole.
    for (const char* err : {"18", "38"}) {
        SCOPED_TRACE(std::string("errno ") + err);
        TempDir dir;
        const fs::path file = dir / "sparse.mp3";
        {
            const int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
            ASSERT_EQ(::pwrite(fd, growing_.data(), growing_.size(), 0),
                      static_cast<ssize_t>(growing_.size()));
            ASSERT_EQ(::pwrite(fd, audio_.data(), audio_.size(), 4 << 20),
                      static_cast<ssize_t>(audio_.size()));
            ::close(fd);
        }
        if (Stat(file).st_blocks * 512 > 2 << 20) GTEST_SKIP() << "no holes on this file system";
        TempDir reference;
        fs::copy_file(file, reference / "sparse.mp3");
        ASSERT_EQ(RunCovriloCli(Args("add", {reference / "sparse.mp3"}), {}, reference / "run")
                      .StatusOf(reference / "sparse.mp3"),
                  "OK");
        const TCliResult run = RunCovriloCli(Args("add", {file}),
                                             ShimEnv(dir.Path(), {{"COVRILO_FAULT_CALLS", "copy_file_range"},
                                                                  {"COVRILO_FAULT_AT", "1"},
                                                                  {"COVRILO_FAULT_MODE", "always"},
                                                                  {"COVRILO_FAULT_ERRNO", err}}),
                                             dir / "run");
        ASSERT_EQ(run.StatusOf(file), "OK") << run.Describe();
        EXPECT_EQ(ReadFileBytes(file), ReadFileBytes(reference / "sparse.mp3"));
        EXPECT_LT(Stat(file).st_blocks * 512, 2 << 20) << "the hole was written out";
    }
#else
    GTEST_SKIP() << "the fault shim is not built";
#endif
}

TEST_F(CliFiles, WhereTheFileSystemRefusesToShiftBlocksTheSameSaveIsARewrite) {
#ifdef COVRILO_FAULT_SHIM
    // ext4 refuses to insert or take out blocks in some files (data=journal, files of block
    // maps): fallocate answers EOPNOTSUPP, and the save rewrites the file with the usual padding.
    TempDir temp;
    std::unique_ptr<TMountedDir> mount;
    fs::path base = temp.Path();
    if (!InsertsBlocks(base)) {
        mount = std::make_unique<TMountedDir>("ext4");
        if (mount->Path().empty()) GTEST_SKIP() << "no file system that shifts blocks: " << mount->Reason();
        base = mount->Path();
    }
    Bytes oldCover = ReadFileBytes(side_ / "cover.jpg");
    oldCover.resize(oldCover.size() * 8, 0x5A);
    const Bytes tail = Concat({audio_, Id3v1Record("Title", "Artist")});
    struct TCase {
        const char* Command;
        Bytes Original;
    } cases[] = {
        {"add", Concat({Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title")}, 6000), tail})},
        {"remove",
         Concat({Tag23({Text23("TPE1", "Artist"), Apic23(4, oldCover), Text23("TIT2", "T")}, 100), tail})},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Command);
        const fs::path dir = base / c.Command;
        fs::create_directories(dir);
        const fs::path file = dir / "song.mp3";
        WriteFileBytes(file, c.Original);
        const ino_t inode = Stat(file).st_ino;
        const TCliResult run = RunCovriloCli(Args(c.Command, {file}),
                                             ShimEnv(dir, {{"COVRILO_FAULT_CALLS", "fallocate"},
                                                           {"COVRILO_FAULT_AT", "1"},
                                                           {"COVRILO_FAULT_MODE", "always"},
                                                           {"COVRILO_FAULT_ERRNO", "95"}}),
                                             dir / "run");
        ASSERT_EQ(run.StatusOf(file), std::string(c.Command) == "add" ? "OK" : "Deleted") << run.Describe();
        const Bytes saved = ReadFileBytes(file);
        EXPECT_NE(Stat(file).st_ino, inode) << "not rewritten";
        ASSERT_GT(saved.size(), tail.size());
        EXPECT_TRUE(std::equal(tail.rbegin(), tail.rend(), saved.rbegin())) << "the audio changed";
        const uint32_t size =
            (uint32_t{saved[6]} << 21) | (uint32_t{saved[7]} << 14) | (uint32_t{saved[8]} << 7) | saved[9];
        EXPECT_EQ(size % 256, 0u) << "not the padding of a rewrite";
        EXPECT_EQ(OurLeftovers(dir), std::vector<std::string>{});
    }
#else
    GTEST_SKIP() << "the fault shim is not built";
#endif
}

TEST_F(CliFiles, ASaveThatFailsAfterMakingItsTemporaryFileLeavesNothing) {
    // Every call of a rewrite on the file's folder fails for good, one after the other, as
    // root and as the unprivileged user: the file stays as it was (or, after the commit, as
    // saved), and no temporary file is left, not even an empty one.
#ifdef COVRILO_FAULT_SHIM
    const std::string shim = COVRILO_FAULT_SHIM;
#else
    const std::string shim;
#endif
    if (shim.empty()) GTEST_SKIP() << "the fault shim is not built";
    for (const std::vector<std::string>& prefix : Users()) {
        SCOPED_TRACE(prefix.empty() ? "as we are" : "as user 65534");
        TempDir dir;
        OpenToAll(dir);
        const fs::path work = dir / "music";
        const fs::path file = work / "song.mp3";
        auto fresh = [&] {
            fs::remove_all(work);
            fs::create_directory(work);
            fs::permissions(work, fs::perms::all);
            WriteFileBytes(file, growing_);
            if (::geteuid() == 0) {
                ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
            }
        };
        const char* asan = std::getenv("ASAN_OPTIONS");
        auto env = [&](int At) {
            return std::map<std::string, std::string>{
                {"LD_PRELOAD", shim},
                {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0:detect_leaks=0"},
                {"COVRILO_FAULT_DIR", work.string()},
                {"COVRILO_FAULT_AT", std::to_string(At)},
                {"COVRILO_FAULT_MODE", "always"},
                {"COVRILO_FAULT_ERRNO", "EIO"},
                {"COVRILO_FAULT_LOG", (dir / "calls.log").string()}};
        };
        fresh();
        const TCliResult clean = RunCovriloCli(Args("add", {file}), env(0), dir / "run", prefix);
        ASSERT_EQ(clean.StatusOf(file), "OK") << clean.Describe();
        const Bytes saved = ReadFileBytes(file);
        const std::string log = ReadFileText(dir / "calls.log");
        const long calls = std::count(log.begin(), log.end(), '\n');
        ASSERT_GT(calls, 5);
        for (long at = 1; at <= calls; ++at) {
            SCOPED_TRACE("call " + std::to_string(at));
            fresh();
            const TCliResult run =
                RunCovriloCli(Args("add", {file}), env(static_cast<int>(at)), dir / "run", prefix);
            const Bytes now = ReadFileBytes(file);
            EXPECT_TRUE(now == growing_ || (now == saved && run.StatusOf(file) != "")) << run.Describe();
            if (run.StatusOf(file) == "OK") {
                EXPECT_EQ(now, saved);
            }
            EXPECT_EQ(OurLeftovers(work), std::vector<std::string>{}) << run.Describe();
        }
    }
}

TEST_F(CliFiles, AnotherUsersFileIsNeverGivenToTheOneWhoTagsIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
    const auto asNobody = AsUnprivileged();
    if (!asNobody)
        GTEST_SKIP() << "cannot run covrilo-cli as user 65534 here (no setpriv, or a closed folder)";
    TempDir dir;
    OpenToAll(dir);
    // Root's files, writable by group 65534 (the user's group).
    const fs::path grows = dir / "grows.mp3", fits = dir / "fits.mp3";
    WriteFileBytes(grows, growing_);
    WriteFileBytes(fits, fitting_);
    for (const fs::path& f : {grows, fits}) {
        ASSERT_EQ(::chown(f.c_str(), 0, 65534), 0);
        ASSERT_EQ(::chmod(f.c_str(), 0664), 0);
    }
    const TCliResult run = RunCovriloCli(Args("add", {grows, fits}), {}, dir / "run", *asNobody);
    // A rewrite would make root's file the user's: refused, with the reason.
    EXPECT_EQ(run.StatusOf(grows), "Error") << run.Describe();
    EXPECT_NE(run.Err.find("covrilo-cli: " + grows.string() + ": it belongs to user 0 and group 65534"),
              std::string::npos)
        << run.Describe();
    EXPECT_EQ(ReadFileBytes(grows), growing_);
    // In place the file stays itself, owner and all.
    EXPECT_EQ(run.StatusOf(fits), "OK") << run.Describe();
    EXPECT_EQ(Stat(fits).st_uid, 0u);
    EXPECT_EQ(Stat(fits).st_gid, 65534u);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"fits.mp3", "grows.mp3"}));
}

TEST_F(CliFiles, HardLinksAreNeverSplit) {
    TempDir dir;
    const fs::path grows = dir / "grows.mp3", fits = dir / "fits.mp3";
    WriteFileBytes(grows, growing_);
    WriteFileBytes(fits, fitting_);
    fs::create_hard_link(grows, dir / "grows link.mp3");
    fs::create_hard_link(fits, dir / "fits link.mp3");
    const TCliResult run = RunCovriloCli(Args("add", {grows, fits}), {}, dir / "run");
    EXPECT_EQ(run.StatusOf(grows), "Error") << run.Describe();
    EXPECT_NE(run.Err.find("covrilo-cli: " + grows.string() + ": it has 2 hard links"), std::string::npos)
        << run.Describe();
    EXPECT_EQ(ReadFileBytes(grows), growing_);
    EXPECT_EQ(run.StatusOf(fits), "OK") << run.Describe();
    EXPECT_NE(ReadFileBytes(fits), fitting_);
    EXPECT_EQ(ReadFileBytes(dir / "fits link.mp3"), ReadFileBytes(fits));
    EXPECT_EQ(Stat(dir / "grows link.mp3").st_ino, Stat(grows).st_ino);
    EXPECT_EQ(Stat(dir / "fits link.mp3").st_ino, Stat(fits).st_ino);
}

TEST_F(CliFiles, FilesOfOthersBesideTheFileStay) {
    // As root and as the unprivileged user alike.
    for (const std::vector<std::string>& user : Users()) {
        const std::vector<std::string>* prefix = &user;
        SCOPED_TRACE(prefix->empty() ? "as we are" : "as user 65534");
        TempDir dir;
        OpenToAll(dir);
        const fs::path file = dir / "song.mp3";
        WriteFileBytes(file, growing_);
        const std::vector<std::string> others = {"song.$$$", "song.mp3.$$$", "song.mp3~",
                                                 "song.mp3.covrilo-x.$$$"};
        for (const std::string& name : others) WriteFileBytes(dir / name, ToBytes("the user's own " + name));
        for (const fs::path& f : fs::directory_iterator(dir.Path())) {
            fs::permissions(f, fs::perms(0666));
            // The user's own files.
            if (!prefix->empty()) {
                ASSERT_EQ(::chown(f.c_str(), 65534, 65534), 0);
            }
        }
        const TCliResult run = RunCovriloCli(Args("add", {file}), {}, dir / "run", *prefix);
        EXPECT_EQ(run.StatusOf(file), "OK") << run.Describe();
        for (const std::string& name : others) EXPECT_EQ(ReadFileText(dir / name), "the user's own " + name);
        std::vector<std::string> expected = others;
        expected.push_back("song.mp3");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Names(dir.Path()), expected);
    }
}

// ---- per-file errors ---------------------------------------------------------------------------

TEST_F(CliFiles, EachFileThatFailsGetsErrorWithItsReasonAndTheRunGoesOn) {
    const auto asNobody = AsUnprivileged();
    if (!asNobody) GTEST_SKIP() << "cannot run covrilo-cli as an unprivileged user here";
    TempDir dir;
    OpenToAll(dir);
    fs::create_directory(dir / "closed");
    // The user's own files.
    auto put = [&](const fs::path& File, const Bytes& Content, fs::perms Mode) {
        WriteFileBytes(File, Content);
        fs::permissions(File, Mode);
        if (::geteuid() == 0) {
            EXPECT_EQ(::chown(File.c_str(), 65534, 65534), 0);
        }
        return File;
    };
    const fs::perms rw = fs::perms(0666);
    // Every file that is to fail holds a picture, so that a remove has something to write.
    const Bytes pictured = fitting_;
    const fs::path good1 = put(dir / "1 good.mp3", growing_, rw);
    const fs::path missing = dir / "2 missing.mp3";
    const fs::path readOnly = put(dir / "3 read-only.mp3", pictured, fs::perms(0444));
    const fs::path locked = put(dir / "4 locked.mp3", pictured, rw);
    const fs::path text =
        put(dir / "5 text.mp3",
            Concat({Tag23({Apic23(3, ReadFileBytes(side_ / "cover.jpg"))}, 10), ToBytes("no audio")}), rw);
    const fs::path closed = put(dir / "closed" / "6 closed folder.mp3", pictured, rw);
    const fs::path flac = put(dir / "7 tone.flac", pictured, rw);
    const fs::path good2 = put(dir / "8 good.mp3", fitting_, rw);
    fs::permissions(dir / "closed", fs::perms(0555));
    const int lock = ::open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);

    struct Expect {
        fs::path File;
        std::string Status, Reason;  // reason "": none printed
    };
    for (const char* command : {"add", "remove"}) {
        SCOPED_TRACE(command);
        const bool add = std::string(command) == "add";
        const std::vector<Expect> expected = {
            {good1, add ? "OK" : "Deleted", ""},
            {missing, "Error", "not found"},
            {readOnly, "Error", "permission denied"},
            {locked, "Error", "locked by another program"},
            {text, "Error", "not an MPEG audio file"},
            {closed, "Error", "permission denied"},
            {flac, "Error", "not a file type that is written"},
            {good2, add ? "OK" : "Deleted", ""},
        };
        std::vector<fs::path> files;
        for (const Expect& e : expected) files.push_back(e.File);
        std::map<fs::path, Bytes> before;
        for (const Expect& e : expected)
            if (fs::is_regular_file(e.File)) before[e.File] = ReadFileBytes(e.File);
        const TCliResult run = RunCovriloCli(Args(command, files), {}, dir / "run", *asNobody);
        EXPECT_EQ(run.ExitCode, 1) << run.Describe();
        std::string reasons;
        for (const Expect& e : expected) {
            EXPECT_EQ(run.StatusOf(e.File), e.Status) << e.File << "\n" << run.Describe();
            if (!e.Reason.empty()) reasons += "covrilo-cli: " + e.File.string() + ": " + e.Reason + "\n";
            if (e.Status == "Error" && before.contains(e.File)) {
                EXPECT_EQ(ReadFileBytes(e.File), before[e.File]) << e.File;
            }
        }
        // One line per file on stdout, in order; the reasons on stderr, in order.
        EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), static_cast<long>(expected.size()));
        EXPECT_NE(run.Err.find(reasons), std::string::npos) << "expected:\n" << reasons << run.Describe();
        EXPECT_EQ(OurLeftovers(dir.Path()), std::vector<std::string>{});
    }
    ::close(lock);
    fs::permissions(dir / "closed", fs::perms::all);
}

TEST_F(CliFiles, NamesWithANewlineOrATabStayOneLine) {
    TempDir dir;
    const fs::path file = dir / "two\nlines\tand a tab \\ backslash.mp3";
    WriteFileBytes(file, growing_);
    const fs::path missing = dir / "gone\n.mp3";
    const TCliResult run = RunCovriloCli(Args("add", {file, missing}), {}, dir / "run");
    const std::string folder = dir.Path().string();
    EXPECT_EQ(run.Out, "OK\t" + folder + "/two\\nlines\\tand a tab \\\\ backslash.mp3\nError\t" + folder +
                           "/gone\\n.mp3\n")
        << run.Describe();
    EXPECT_EQ(run.Err, "covrilo-cli: " + folder + "/gone\\n.mp3: not found\n");
    EXPECT_EQ(run.ExitCode, 1);
}

// ---- the settings file ---------------------------------------------------------------------

TEST_F(CliFiles, TheSettingsFileIsNeverWritten) {
    TempDir dir;
    const fs::path file = dir / "song.mp3";
    // Line ends and a comment that a write would change; read only, so no write can succeed
    // unnoticed; and a missing file, which may be created as the empty document.
    const std::string settings =
        "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\n<xmlini>\n  <!-- mine -->\n  <ImageSettings>\n"
        "    <MaxX>300</MaxX>\n  </ImageSettings>\n</xmlini>\n";
    WriteFileBytes(dir / "settings.xml", ToBytes(settings));
    fs::permissions(dir / "settings.xml", fs::perms(0444));
    const struct stat before = Stat(dir / "settings.xml");
    for (const char* command : {"add", "remove"}) {
        WriteFileBytes(file, growing_);
        std::vector<std::string> args = {command, "--settings", (dir / "settings.xml").string(),
                                         file.string()};
        if (std::string(command) == "add")
            args.insert(args.end(), {"--cover", (side_ / "cover.jpg").string()});
        const TCliResult run = RunCovriloCli(args, {}, dir / "run");
        EXPECT_EQ(run.ExitCode, 0) << run.Describe();
        EXPECT_EQ(ReadFileText(dir / "settings.xml"), settings);
        const struct stat after = Stat(dir / "settings.xml");
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
        EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    }
    const fs::path fresh = dir / "fresh.xml";
    const TCliResult run =
        RunCovriloCli({"remove", "--settings", fresh.string(), file.string()}, {}, dir / "run");
    EXPECT_EQ(run.ExitCode, 0) << run.Describe();
    EXPECT_NE(ReadFileText(fresh).find("<xmlini>"), std::string::npos);
    EXPECT_EQ(ReadFileText(fresh).find("MaxX"), std::string::npos) << "values were written back";
}

}  // namespace
}  // namespace covrilo::test
