// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <optional>

#include "app/FileSelection.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void Touch(const fs::path& File) {
    fs::create_directories(File.parent_path());
    test::WriteFileBytes(File, test::ToBytes("x"));
}

std::vector<fs::path> Under(const fs::path& Root, const std::vector<std::string>& Names) {
    std::vector<fs::path> paths;
    for (const auto& name : Names) paths.push_back(Root / name);
    return paths;
}

TEST(FileSelection, ExtensionsInAnyCase) {
    struct Case {
        const char* Name;
        bool Mp3;
        bool Jpeg;
    };
    const Case cases[] = {
        {"a.mp3", true, false},       {"a.MP3", true, false},          {"a.Mp3", true, false},
        {"a.mp3.txt", false, false},  {"mp3", false, false},           {".mp3", false, false},
        {"a.jpg", false, true},       {"a.JPEG", false, true},         {"a.jpe", false, false},
        {"a.jpeg.bak", false, false}, {"dir.mp3/a.txt", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsMp3File(c.Name), c.Mp3) << c.Name;
        EXPECT_EQ(IsJpegFile(c.Name), c.Jpeg) << c.Name;
    }
}

TEST(FileSelection, OrderIgnoresCaseAlsoBeyondAscii) {
    std::vector<fs::path> names = {"/m/b.mp3",
                                   "/m/Zebra.mp3",
                                   "/m/A.mp3",
                                   "/m/\xC3\x89t\xC3\xA9.mp3" /* Été */,
                                   "/m/\xC3\xA9t\xC3\xA9.mp3" /* été */,
                                   "/m/a.mp3",
                                   "/m/c/d.mp3",
                                   "/m/c.mp3",
                                   "/m/\xD0\x96.mp3" /* Ж */,
                                   "/m/\xD0\xB5.mp3" /* е */};
    std::vector<fs::path> sorted = names;
    SortByNameIgnoringCase(sorted);
    std::sort(names.begin(), names.end(), LessByNameIgnoringCase);
    const std::vector<fs::path> expected = {"/m/A.mp3",
                                            "/m/a.mp3",
                                            "/m/b.mp3",
                                            "/m/c.mp3",
                                            "/m/c/d.mp3",
                                            "/m/Zebra.mp3",
                                            "/m/\xC3\x89t\xC3\xA9.mp3",
                                            "/m/\xC3\xA9t\xC3\xA9.mp3",
                                            "/m/\xD0\xB5.mp3",
                                            "/m/\xD0\x96.mp3"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(sorted, expected);
}

TEST(FileSelection, FolderStandsForItsMp3FilesSorted) {
    TempDir dir;
    for (const char* name :
         {"b.mp3", "A.MP3", "c.Mp3", "notes.txt", "cover.jpg", "cd2/d.mp3", "cd2/deeper/e.mp3"})
        Touch(dir / name);
    fs::create_directory(dir / "folder.mp3");  // a folder, not a file
    fs::create_symlink(dir / "b.mp3", dir / "link.mp3");
    fs::create_symlink(dir / "cd2", dir / "zlink");  // links to folders are not followed

    EXPECT_EQ(Mp3FilesInFolder(dir.Path(), false),
              Under(dir.Path(), {"A.MP3", "b.mp3", "c.Mp3", "link.mp3"}));
    EXPECT_EQ(Mp3FilesInFolder(dir.Path(), true),
              Under(dir.Path(), {"A.MP3", "b.mp3", "c.Mp3", "cd2/d.mp3", "cd2/deeper/e.mp3", "link.mp3"}));
    EXPECT_TRUE(Mp3FilesInFolder(dir / "missing", true).empty());

    // Files keep their place and are taken as given (a missing one too); folders expand.
    const auto expanded = ExpandPaths({dir / "z.mp3", dir / "cd2", dir / "notes.txt"}, false);
    EXPECT_EQ(expanded, Under(dir.Path(), {"z.mp3", "cd2/d.mp3", "notes.txt"}));
}

TEST(FileSelection, UnreadableSubFolderIsSkipped) {
    COVRILO_RUN_UNPRIVILEGED();  // root reads every folder
    TempDir dir;
    Touch(dir / "a.mp3");
    Touch(dir / "closed/b.mp3");
    Touch(dir / "open/c.mp3");
    fs::permissions(dir / "closed", fs::perms::none);
    EXPECT_EQ(Mp3FilesInFolder(dir.Path(), true), Under(dir.Path(), {"a.mp3", "open/c.mp3"}));
    fs::permissions(dir / "closed", fs::perms::owner_all);
}

TEST(FileSelection, DropTakesMp3FilesSortedAndTheFirstPicture) {
    TempDir dir;
    for (const char* name : {"album/b.mp3", "album/A.mp3", "album/sub/c.MP3", "album/back.jpg"})
        Touch(dir / name);
    struct Case {
        const char* What;
        std::vector<std::string> Dropped;
        std::vector<std::string> Mp3Files;
        std::string Picture;
    };
    const Case cases[] = {
        {"mixed", {"a.MP3", "b.jpg", "c.JPEG", "d.txt"}, {"a.MP3"}, "b.jpg"},
        {"sorted ignoring case", {"z.mp3", "B.mp3", "a.mp3"}, {"a.mp3", "B.mp3", "z.mp3"}, ""},
        {"the first picture wins", {"x.JPEG", "y.jpg"}, {}, "x.JPEG"},
        {"a folder, recursively, sorted with the files",
         {"zz.mp3", "album", "Album.mp3"},
         {"Album.mp3", "album/A.mp3", "album/b.mp3", "album/sub/c.MP3", "zz.mp3"},  // '.' before '/'
         ""},
        {"the same file twice is two entries", {"a.mp3", "a.mp3"}, {"a.mp3", "a.mp3"}, ""},
        {"nothing usable", {"d.txt", "e.png"}, {}, ""},
    };
    for (const auto& c : cases) {
        const TDroppedFiles result = SortDroppedFiles(Under(dir.Path(), c.Dropped));
        EXPECT_EQ(result.Mp3Files, Under(dir.Path(), c.Mp3Files)) << c.What;
        EXPECT_EQ(result.Picture, c.Picture.empty() ? fs::path() : dir / c.Picture) << c.What;
    }
}

TEST(FileSelection, AFolderCoverIsTheFirstNameFoundIgnoringCase) {
    TempDir dir;
    Touch(dir / "a" / "Cover.JPG");
    Touch(dir / "a" / "folder.jpg");
    Touch(dir / "b" / "FOLDER.jpg");
    Touch(dir / "b" / "folder.JPG");  // the same name in two spellings: the first in list order
    Touch(dir / "c" / "cover.jpg.bak");
    fs::create_directories(dir / "c" / "cover.jpg");  // a folder is no picture
    Touch(dir / "d" / "\xc3\x84lbum.jpg");            // "Älbum.jpg"
    struct Case {
        const char* Folder;
        std::vector<std::string> Names;
        std::optional<std::string> Found;
    };
    const Case cases[] = {
        {"a", {"cover.jpg", "folder.jpg"}, "Cover.JPG"},
        {"a", {"folder.jpg", "cover.jpg"}, "folder.jpg"},
        {"a", {"front.jpg"}, std::nullopt},
        {"b", {"cover.jpg", "folder.jpg"}, "FOLDER.jpg"},
        {"c", {"cover.jpg"}, std::nullopt},
        {"d", {"\xc3\xa4lbum.JPG"}, "\xc3\x84lbum.jpg"},  // folded beyond ASCII too
        {"missing", {"cover.jpg"}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Folder) + " " + c.Names.front());
        const auto found = FindFolderCover(dir / c.Folder, c.Names);
        ASSERT_EQ(found.has_value(), c.Found.has_value());
        if (found) {
            EXPECT_EQ(*found, dir / c.Folder / *c.Found);
        }
    }
}

TEST(FileSelection, SubFoldersWithMp3FilesAreSeen) {
    TempDir dir;
    Touch(dir / "lib" / "album" / "cd1" / "a.MP3");
    Touch(dir / "top" / "a.mp3");
    Touch(dir / "none" / "sub" / "notes.txt");
    EXPECT_TRUE(HasMp3FilesInSubFolders(dir / "lib"));
    EXPECT_FALSE(HasMp3FilesInSubFolders(dir / "top")) << "its own files are not its sub-folders'";
    EXPECT_FALSE(HasMp3FilesInSubFolders(dir / "none"));
    EXPECT_FALSE(HasMp3FilesInSubFolders(dir / "missing"));
}

}  // namespace
}  // namespace covrilo
