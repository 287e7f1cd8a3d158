// SPDX-License-Identifier: MIT
#include "app/FileSelection.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>

namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void Touch(const fs::path& File) {
    fs::create_directories(File.parent_path());
    test::WriteFileBytes(File, test::ToBytes("x"));
}

std::vector<fs::path> Under(const fs::path& Root, const std::vector<std::string>& Names) {
    std::vector<fs::path> Paths;
    for (const auto& Name : Names) Paths.push_back(Root / Name);
    return Paths;
}

TEST(FileSelection, ExtensionsInAnyCase) {
    struct Case { const char* Name; bool Mp3; bool Jpeg; };
    const Case Cases[] = {
        {"a.mp3", true, false},   {"a.MP3", true, false},  {"a.Mp3", true, false},   {"a.mp3.txt", false, false},
        {"mp3", false, false},    {".mp3", false, false},  {"a.jpg", false, true},   {"a.JPEG", false, true},
        {"a.jpe", false, false},  {"a.jpeg.bak", false, false}, {"dir.mp3/a.txt", false, false},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(IsMp3File(C.Name), C.Mp3) << C.Name;
        EXPECT_EQ(IsJpegFile(C.Name), C.Jpeg) << C.Name;
    }
}

TEST(FileSelection, OrderIgnoresCaseAlsoBeyondAscii) {
    std::vector<fs::path> Names = {"/m/b.mp3", "/m/Zebra.mp3", "/m/A.mp3", "/m/\xC3\x89t\xC3\xA9.mp3" /* Été */,
                                   "/m/\xC3\xA9t\xC3\xA9.mp3" /* été */, "/m/a.mp3", "/m/c/d.mp3", "/m/c.mp3",
                                   "/m/\xD0\x96.mp3" /* Ж */, "/m/\xD0\xB5.mp3" /* е */};
    std::vector<fs::path> Sorted = Names;
    SortByNameIgnoringCase(Sorted);
    std::sort(Names.begin(), Names.end(), LessByNameIgnoringCase);
    const std::vector<fs::path> Expected = {"/m/A.mp3",   "/m/a.mp3",
                                            "/m/b.mp3",   "/m/c.mp3",
                                            "/m/c/d.mp3", "/m/Zebra.mp3",
                                            "/m/\xC3\x89t\xC3\xA9.mp3", "/m/\xC3\xA9t\xC3\xA9.mp3",
                                            "/m/\xD0\xB5.mp3", "/m/\xD0\x96.mp3"};
    EXPECT_EQ(Names, Expected);
    EXPECT_EQ(Sorted, Expected);
}

TEST(FileSelection, FolderStandsForItsMp3FilesSorted) {
    TempDir Dir;
    for (const char* Name : {"b.mp3", "A.MP3", "c.Mp3", "notes.txt", "cover.jpg", "cd2/d.mp3", "cd2/deeper/e.mp3"})
        Touch(Dir / Name);
    fs::create_directory(Dir / "folder.mp3");  // a folder, not a file
    fs::create_symlink(Dir / "b.mp3", Dir / "link.mp3");
    fs::create_symlink(Dir / "cd2", Dir / "zlink");  // links to folders are not followed

    EXPECT_EQ(Mp3FilesInFolder(Dir.path(), false), Under(Dir.path(), {"A.MP3", "b.mp3", "c.Mp3", "link.mp3"}));
    EXPECT_EQ(Mp3FilesInFolder(Dir.path(), true),
              Under(Dir.path(), {"A.MP3", "b.mp3", "c.Mp3", "cd2/d.mp3", "cd2/deeper/e.mp3", "link.mp3"}));
    EXPECT_TRUE(Mp3FilesInFolder(Dir / "missing", true).empty());

    // Files keep their place and are taken as given (a missing one too); folders expand.
    const auto Expanded = ExpandPaths({Dir / "z.mp3", Dir / "cd2", Dir / "notes.txt"}, false);
    EXPECT_EQ(Expanded, Under(Dir.path(), {"z.mp3", "cd2/d.mp3", "notes.txt"}));
}

TEST(FileSelection, UnreadableSubFolderIsSkipped) {
    COVRILO_RUN_UNPRIVILEGED();  // root reads every folder
    TempDir Dir;
    Touch(Dir / "a.mp3");
    Touch(Dir / "closed/b.mp3");
    Touch(Dir / "open/c.mp3");
    fs::permissions(Dir / "closed", fs::perms::none);
    EXPECT_EQ(Mp3FilesInFolder(Dir.path(), true), Under(Dir.path(), {"a.mp3", "open/c.mp3"}));
    fs::permissions(Dir / "closed", fs::perms::owner_all);
}

TEST(FileSelection, DropTakesMp3FilesSortedAndTheFirstPicture) {
    TempDir Dir;
    for (const char* Name : {"album/b.mp3", "album/A.mp3", "album/sub/c.MP3", "album/back.jpg"}) Touch(Dir / Name);
    struct Case {
        const char* What;
        std::vector<std::string> Dropped;
        std::vector<std::string> Mp3Files;
        std::string Picture;
    };
    const Case Cases[] = {
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
    for (const auto& C : Cases) {
        const TDroppedFiles Result = SortDroppedFiles(Under(Dir.path(), C.Dropped));
        EXPECT_EQ(Result.Mp3Files, Under(Dir.path(), C.Mp3Files)) << C.What;
        EXPECT_EQ(Result.Picture, C.Picture.empty() ? fs::path() : Dir / C.Picture) << C.What;
    }
}

TEST(FileSelection, AFolderCoverIsTheFirstNameFoundIgnoringCase) {
    TempDir Dir;
    Touch(Dir / "a" / "Cover.JPG");
    Touch(Dir / "a" / "folder.jpg");
    Touch(Dir / "b" / "FOLDER.jpg");
    Touch(Dir / "b" / "folder.JPG");  // the same name in two spellings: the first in list order
    Touch(Dir / "c" / "cover.jpg.bak");
    fs::create_directories(Dir / "c" / "cover.jpg");  // a folder is no picture
    Touch(Dir / "d" / "\xc3\x84lbum.jpg");              // "Älbum.jpg"
    struct Case {
        const char* Folder;
        std::vector<std::string> Names;
        std::optional<std::string> Found;
    };
    const Case Cases[] = {
        {"a", {"cover.jpg", "folder.jpg"}, "Cover.JPG"},
        {"a", {"folder.jpg", "cover.jpg"}, "folder.jpg"},
        {"a", {"front.jpg"}, std::nullopt},
        {"b", {"cover.jpg", "folder.jpg"}, "FOLDER.jpg"},
        {"c", {"cover.jpg"}, std::nullopt},
        {"d", {"\xc3\xa4lbum.JPG"}, "\xc3\x84lbum.jpg"},  // folded beyond ASCII too
        {"missing", {"cover.jpg"}, std::nullopt},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(std::string(C.Folder) + " " + C.Names.front());
        const auto Found = FindFolderCover(Dir / C.Folder, C.Names);
        ASSERT_EQ(Found.has_value(), C.Found.has_value());
        if (Found) {
            EXPECT_EQ(*Found, Dir / C.Folder / *C.Found);
        }
    }
}

TEST(FileSelection, SubFoldersWithMp3FilesAreSeen) {
    TempDir Dir;
    Touch(Dir / "lib" / "album" / "cd1" / "a.MP3");
    Touch(Dir / "top" / "a.mp3");
    Touch(Dir / "none" / "sub" / "notes.txt");
    EXPECT_TRUE(HasMp3FilesInSubFolders(Dir / "lib"));
    EXPECT_FALSE(HasMp3FilesInSubFolders(Dir / "top")) << "its own files are not its sub-folders'";
    EXPECT_FALSE(HasMp3FilesInSubFolders(Dir / "none"));
    EXPECT_FALSE(HasMp3FilesInSubFolders(Dir / "missing"));
}

}  // namespace
}  // namespace covrilo
