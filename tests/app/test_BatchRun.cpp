// SPDX-License-Identifier: MIT
#include "app/BatchRun.h"

#include "app/CoverImage.h"
#include "app/Settings.h"
#include "FakeBatchHost.h"
#include "io/EnhancedStreams.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::TFakeHost;

// Records the calls; Save answers per file, and a file can be made to throw.
class TFakeTagger : public IBatchTagger {
public:
    std::vector<std::string> Calls;
    std::map<fs::path, bool> SaveResults;  // missing: true
    fs::path ThrowOn;
    fs::path Current;
    std::string Why;  // LastError after a false answer
    std::vector<fs::path> PictureFiles;     // every AddPicture's file, with its folder
    std::vector<bool> PictureFileExisted;   // whether it was there when it was added
    std::vector<fs::path> WithPicture;      // files HasPicture answers true for
    std::optional<TBatchOptions> Begun;     // what BeginRun was told

    void BeginRun(const TBatchOptions& Options) override { Begun = Options; }
    bool HasPicture(const std::string& PictureType) override {
        Calls.push_back("HasPicture " + PictureType);
        return std::find(WithPicture.begin(), WithPicture.end(), Current) != WithPicture.end();
    }
    bool Open(const fs::path& FileName) override {
        Current = FileName;
        Calls.push_back("Open " + FileName.filename().string());
        return true;
    }
    void AddPicture(const fs::path& PictureFile, const std::string& PictureType) override {
        Calls.push_back("AddPicture " + PictureFile.filename().string() + " " + PictureType);
        PictureFiles.push_back(PictureFile);
        PictureFileExisted.push_back(fs::exists(PictureFile));
    }
    bool Save() override {
        Calls.push_back("Save");
        if (Current == ThrowOn) throw EFOpenError("Cannot open file " + Current.string() + ": locked", "locked");
        const auto It = SaveResults.find(Current);
        return It == SaveResults.end() || It->second;
    }
    std::string LastError() override { return Why; }
    bool RemoveAllPictures() override {
        Calls.push_back("RemoveAllPictures");
        if (Current == ThrowOn) throw EFOpenError("Cannot open file " + Current.string() + ": locked", "locked");
        const auto It = SaveResults.find(Current);
        return It == SaveResults.end() || It->second;
    }
    void Close() override { Calls.push_back("Close"); }
};

// A real JPEG of the given size, made with our encoder (the run decodes it).
fs::path MakeJpeg(const fs::path& File, int Width, int Height) {
    TRgbImage Image{Width, Height, std::vector<uint8_t>(static_cast<size_t>(Width * Height * 3), 0x80)};
    const auto Bytes = EncodeJpeg(Image, 90);
    test::WriteFileBytes(File, Bytes);
    return File;
}

class BatchRunTest : public testing::Test {
protected:
    void SetUp() override {
        Host.Data = Dir.path();
        Host.SetFiles({"/music/a.mp3", "/music/b.mp3", "/music/c.mp3"});
    }
    TempDir Dir;
    TFakeHost Host;
    TFakeTagger Tagger;
};

TEST(PictureTypeToName, KindTable) {
    const char* Expected[] = {"Other",      "FrontCover",        "BackCover",       "LeafletPage",       "Media",
                              "LeadArtist", "Artist",            "Conductor",       "Band",              "Composer",
                              "Lyricist",   "RecordingLocation", "DuringRecording", "DuringPerformance", "VideoScreenCapture",
                              "ColouredFish", "Illustration",    "BandLogo",        "PublisherStudio"};
    for (int I = 0; I < 19; ++I) EXPECT_EQ(PictureTypeToName(I), Expected[I]) << I;
    for (int I : {-1, 19, 20, 1000, INT32_MIN}) EXPECT_EQ(PictureTypeToName(I), "Other") << I;
}

TEST_F(BatchRunTest, NothingToDoTouchesNothing) {
    // Add mode without a picture.
    EXPECT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boNothingToDo);
    // Empty list, even with a picture.
    Host.Picture = MakeJpeg(Dir / "p.jpg", 10, 10);
    Host.SetFiles({});
    EXPECT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boNothingToDo);
    EXPECT_TRUE(Tagger.Calls.empty());
    EXPECT_EQ(Host.EventCalls, 0);
}

TEST_F(BatchRunTest, AddModeCallsTheFacadeInOrderAndSetsStatuses) {
    Host.Picture = MakeJpeg(Dir / "cover.jpg", 100, 80);
    Host.Values.KindOfPic = 2;
    Tagger.SaveResults["/music/b.mp3"] = false;
    const auto Result = RunBatch(Host, Tagger);
    EXPECT_EQ(Result.Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Result.Done, 3);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"OK", "Error", "OK"}));
    EXPECT_EQ(Tagger.Calls, (std::vector<std::string>{
                                "Open a.mp3", "AddPicture cover.jpg BackCover", "Save", "Close",
                                "Open b.mp3", "AddPicture cover.jpg BackCover", "Save", "Close",
                                "Open c.mp3", "AddPicture cover.jpg BackCover", "Save", "Close"}));
    EXPECT_EQ(Host.EventCalls, 3);
    EXPECT_EQ(Host.Picture, Dir / "cover.jpg");  // within the limits: used as loaded
    EXPECT_FALSE(fs::exists(Dir / "temp.jpg"));
}

TEST_F(BatchRunTest, LargePictureIsPreparedOnceAndTheCopyUsed) {
    Host.Picture = MakeJpeg(Dir / "cover.jpg", 1000, 400);
    Host.Values.MaxX = 500;
    Host.Values.MaxY = 500;
    Host.Values.KindOfPic = 42;  // out of range: "Other"
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Picture, Dir / "temp.jpg");
    const auto Copy = DecodeJpegFile(Dir / "temp.jpg");
    EXPECT_EQ(Copy.Width, 500);
    EXPECT_EQ(Copy.Height, 200);
    EXPECT_EQ(Tagger.Calls.at(1), "AddPicture temp.jpg Other");
    EXPECT_EQ(Tagger.Calls.at(5), "AddPicture temp.jpg Other");
}

TEST_F(BatchRunTest, RemoveModeIgnoresThePicture) {
    const auto Cases = {fs::path(), Dir / "damaged.jpg"};
    test::WriteFileBytes(Dir / "damaged.jpg", test::ToBytes("not a picture"));
    for (const auto& Picture : Cases) {
        Host.SetFiles({"/music/a.mp3", "/music/b.mp3"});
        Tagger.Calls.clear();
        Host.Remove = true;
        Host.Picture = Picture;
        ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted) << Picture;
        EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"Deleted", "Deleted"}));
        EXPECT_EQ(Tagger.Calls, (std::vector<std::string>{"Open a.mp3", "RemoveAllPictures", "Close",
                                                          "Open b.mp3", "RemoveAllPictures", "Close"}));
        EXPECT_EQ(Host.Picture, Picture);
    }
}

TEST_F(BatchRunTest, ARemovalThatFailedIsAnErrorNotDeleted) {
    Host.SetFiles({"/music/a.mp3", "/music/b.mp3"});
    Host.Remove = true;
    Tagger.SaveResults["/music/a.mp3"] = false;
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"Error", "Deleted"}));
}

TEST_F(BatchRunTest, CheckBoxIsReadForEveryFile) {
    Host.Picture = MakeJpeg(Dir / "cover.jpg", 900, 900);
    Host.Values.MaxX = Host.Values.MaxY = 300;
    Host.Remove = true;
    Host.OnEvents = [this](int Done) { Host.Remove = Done != 0; };  // add for the second file only
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"Deleted", "OK", "Deleted"}));
    // The picture was not prepared up front, but it is before it is first added.
    EXPECT_EQ(Tagger.Calls.at(4), "AddPicture temp.jpg FrontCover");
    EXPECT_EQ(DecodeJpegFile(Host.Picture).Width, 300);
}

TEST_F(BatchRunTest, SwitchingToAddWithoutAPictureMarksTheFileAsError) {
    Host.Remove = true;
    Host.OnEvents = [this](int) { Host.Remove = false; };
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"Deleted", "Error", "Error"}));
    EXPECT_EQ(std::count(Tagger.Calls.begin(), Tagger.Calls.end(), "Save"), 0);
}

TEST_F(BatchRunTest, APictureClosedDuringTheRunIsNotAddedAnyMore) {
    Host.Picture = MakeJpeg(Dir / "cover.jpg", 900, 900);
    Host.ContinueOnError = true;
    Host.OnEvents = [this](int) { Host.Picture.clear(); };
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"OK", "Error", "Error"}));
    EXPECT_EQ(Host.Reasons, (std::vector<std::pair<int, std::string>>{{1, "no picture to add"}, {2, "no picture to add"}}));
}

TEST_F(BatchRunTest, ErrorInAFileEndsTheRunAndKeepsStatuses) {
    Host.Picture = MakeJpeg(Dir / "cover.jpg", 50, 50);
    Host.Statuses = {"old", "old", "old"};
    Tagger.ThrowOn = "/music/b.mp3";
    const auto Result = RunBatch(Host, Tagger);
    EXPECT_EQ(Result.Outcome, TBatchOutcome::boFailed);
    EXPECT_EQ(Result.Message, "Cannot open file /music/b.mp3: locked");
    EXPECT_EQ(Result.Done, 1);
    EXPECT_EQ(Result.FailedIndex, 1);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"OK", "old", "old"}));
    // The open file is closed and nothing after it is touched.
    EXPECT_EQ(Tagger.Calls.back(), "Close");
    EXPECT_EQ(std::count(Tagger.Calls.begin(), Tagger.Calls.end(), "Open c.mp3"), 0);

    // Same in remove mode.
    Tagger.Calls.clear();
    Host.Remove = true;
    Host.Statuses = {"old", "old", "old"};
    const auto Removed = RunBatch(Host, Tagger);
    EXPECT_EQ(Removed.Outcome, TBatchOutcome::boFailed);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"Deleted", "old", "old"}));
}

TEST_F(BatchRunTest, AHostThatGoesOnGivesTheFailingFileErrorWithItsReason) {
    Host.Picture = MakeJpeg(Dir / "cover.jpg", 50, 50);
    Host.ContinueOnError = true;
    for (const bool remove : {false, true}) {
        SCOPED_TRACE(remove ? "remove" : "add");
        Host.Remove = remove;
        Host.Statuses = {"old", "old", "old"};
        Host.Reasons.clear();
        Tagger.Calls.clear();
        Tagger.ThrowOn = "/music/b.mp3";  // raises: locked
        Tagger.SaveResults = {{"/music/c.mp3", false}};
        Tagger.Why = "not an MPEG audio file";
        const auto Result = RunBatch(Host, Tagger);
        EXPECT_EQ(Result.Outcome, TBatchOutcome::boCompleted);
        EXPECT_EQ(Result.Done, 3);
        EXPECT_EQ(Host.Statuses, (std::vector<std::string>{remove ? "Deleted" : "OK", "Error", "Error"}));
        EXPECT_EQ(Host.Reasons, (std::vector<std::pair<int, std::string>>{{1, "locked"}, {2, "not an MPEG audio file"}}));
        // Every file that was opened is closed, the failing one too.
        EXPECT_EQ(std::count(Tagger.Calls.begin(), Tagger.Calls.end(), "Close"), 3);
    }
    // Without a reason from the tagger the host still hears why in general terms.
    Host.Reasons.clear();
    Tagger.ThrowOn.clear();
    Tagger.Why.clear();
    Host.Remove = false;
    RunBatch(Host, Tagger);
    EXPECT_EQ(Host.Reasons, (std::vector<std::pair<int, std::string>>{{2, "the file could not be saved"}}));
}

TEST_F(BatchRunTest, UnreadablePictureEndsTheRunBeforeAnyFile) {
    test::WriteFileBytes(Dir / "bad.jpg", test::ToBytes("\xFF\xD8\xFF\xE0 broken"));
    const fs::path Cases[] = {Dir / "bad.jpg", Dir / "vanished.jpg"};
    for (const auto& Picture : Cases) {
        Host.Picture = Picture;
        const auto Result = RunBatch(Host, Tagger);
        EXPECT_EQ(Result.Outcome, TBatchOutcome::boFailed) << Picture;
        EXPECT_FALSE(Result.Message.empty());
        EXPECT_EQ(Result.FailedIndex, -1);
        EXPECT_EQ(Result.Done, 0);
        EXPECT_TRUE(Tagger.Calls.empty());
        EXPECT_EQ(Host.Statuses, (std::vector<std::string>(3, kStatusWaiting)));
        EXPECT_EQ(Host.Picture, Picture);
    }
}

TEST_F(BatchRunTest, EntryCountIsTakenOnceAndDuplicatesAreProcessedTwice) {
    Host.Picture = MakeJpeg(Dir / "cover.jpg", 20, 20);
    Host.SetFiles({"/music/a.mp3", "/music/a.mp3"});
    Host.OnEvents = [this](int) { Host.Paths.push_back("/music/late.mp3"); Host.Statuses.push_back(kStatusWaiting); };
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(std::count(Tagger.Calls.begin(), Tagger.Calls.end(), "Open a.mp3"), 2);
    EXPECT_EQ(std::count(Tagger.Calls.begin(), Tagger.Calls.end(), "Open late.mp3"), 0);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"OK", "OK", kStatusWaiting, kStatusWaiting}));
}

TEST_F(BatchRunTest, AStopRequestEndsTheRunAfterTheCurrentFile) {
    Host.Picture = MakeJpeg(Dir / "cover.jpg", 20, 20);
    Host.OnEvents = [this](int Done) { Host.Stop = Done == 0; };  // asked while the first file is done
    const auto Result = RunBatch(Host, Tagger);
    EXPECT_EQ(Result.Outcome, TBatchOutcome::boStopped);
    EXPECT_EQ(Result.Done, 1);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"OK", kStatusWaiting, kStatusWaiting}));
    EXPECT_EQ(Tagger.Calls.back(), "Close");
    EXPECT_EQ(std::count(Tagger.Calls.begin(), Tagger.Calls.end(), "Open b.mp3"), 0);

    // A request after the last file changes nothing: the run is complete.
    Tagger.Calls.clear();
    Host.SetFiles({"/music/a.mp3"});
    Host.OnEvents = [this](int) { Host.Stop = true; };
    EXPECT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"OK"}));
}

TEST_F(BatchRunTest, EachFolderGetsItsOwnCoverPreparedOnce) {
    for (const char* album : {"A", "B", "C", "D", "E"}) fs::create_directories(Dir / album);
    MakeJpeg(Dir / "A" / "cover.jpg", 1000, 400);  // scaled to 500 x 200
    MakeJpeg(Dir / "B" / "Folder.JPG", 100, 80);   // within the limits: used as it is
    test::WriteFileBytes(Dir / "C" / "cover.txt", test::ToBytes("no picture"));
    test::WriteFileBytes(Dir / "D" / "COVER.JPG", test::ToBytes("damaged"));
    MakeJpeg(Dir / "E" / "folder.jpg", 400, 1000);  // scaled to 200 x 500
    MakeJpeg(Dir / "E" / "cover.jpg", 40, 40);      // the first name wins
    Host.SetFiles({Dir / "A/1.mp3", Dir / "B/1.mp3", Dir / "A/2.mp3", Dir / "C/1.mp3", Dir / "D/1.mp3",
                   Dir / "D/2.mp3", Dir / "E/1.mp3"});
    Host.RunOptions.FolderCoverNames = {"folder.jpg", "cover.jpg"};
    Host.ContinueOnError = true;
    Host.Picture = Dir / "ignored.jpg";  // not a file: the folders' covers are used instead
    // A's copy stays while A's files are not all done (B's file comes between them), and goes
    // with A's last one.
    std::vector<bool> CopyOfAAfter;
    Host.OnEvents = [&](int) { CopyOfAAfter.push_back(fs::exists(Tagger.PictureFiles.at(0))); };
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(CopyOfAAfter, (std::vector<bool>{true, true, false, false, false, false, false}));

    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"OK", "OK", "OK", "Error", "Error", "Error", "OK"}));
    ASSERT_EQ(Host.Reasons.size(), 3u);
    EXPECT_EQ(Host.Reasons[0], std::make_pair(3, std::string("no cover picture in its folder (none of folder.jpg, cover.jpg)")));
    for (const int Index : {4, 5}) {
        const auto& [At, Reason] = Host.Reasons[static_cast<size_t>(Index - 3)];
        EXPECT_EQ(At, Index);
        EXPECT_EQ(Reason.rfind("its folder's cover COVER.JPG cannot be used: Not a JPEG file", 0), 0u) << Reason;
    }
    ASSERT_EQ(Tagger.PictureFiles.size(), 4u);
    // A's two files share one prepared copy, made apart from "temp.jpg" and gone after the run.
    EXPECT_EQ(Tagger.PictureFiles[0], Tagger.PictureFiles[2]);
    EXPECT_EQ(Tagger.PictureFiles[1], Dir / "B" / "Folder.JPG");
    EXPECT_NE(Tagger.PictureFiles[3], Tagger.PictureFiles[0]);
    EXPECT_EQ(Tagger.PictureFileExisted, std::vector<bool>(4, true));
    for (const size_t Index : {size_t{0}, size_t{3}}) {
        EXPECT_FALSE(fs::exists(Tagger.PictureFiles[Index])) << "left after the run: " << Tagger.PictureFiles[Index];
        EXPECT_NE(Tagger.PictureFiles[Index].parent_path(), Dir.path());
    }
    EXPECT_FALSE(fs::exists(Dir / "temp.jpg"));
    EXPECT_EQ(Host.Picture, Dir / "ignored.jpg");

    // What each file got, for the host to show.
    ASSERT_EQ(Host.Reports.size(), 7u);
    const auto& A = Host.Reports[0].second.Cover;
    ASSERT_TRUE(A.has_value());
    EXPECT_EQ(A->Source, Dir / "A" / "cover.jpg");
    EXPECT_EQ(std::make_tuple(A->SourceWidth, A->SourceHeight, A->Width, A->Height, A->Scaled),
              std::make_tuple(1000, 400, 500, 200, true));
    const auto& B = Host.Reports[1].second.Cover;
    ASSERT_TRUE(B.has_value());
    EXPECT_EQ(std::make_tuple(B->Width, B->Height, B->Scaled, B->Bytes),
              std::make_tuple(100, 80, false, static_cast<int64_t>(fs::file_size(Dir / "B" / "Folder.JPG"))));
    const auto& E = Host.Reports[6].second.Cover;
    ASSERT_TRUE(E.has_value());
    EXPECT_EQ(std::make_tuple(E->Source, E->Width, E->Height), std::make_tuple(Dir / "E" / "folder.jpg", 200, 500));
    EXPECT_FALSE(Host.Reports[3].second.Cover.has_value());
}

TEST_F(BatchRunTest, OnlyIfMissingSkipsAFileWithAPictureOfTheKindWithoutSavingIt) {
    Host.Picture = MakeJpeg(Dir / "cover.jpg", 20, 20);
    Host.Values.KindOfPic = 2;
    Host.RunOptions.OnlyIfMissing = true;
    Tagger.WithPicture = {"/music/b.mp3"};
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"OK", "Skipped", "OK"}));
    EXPECT_EQ(Tagger.Calls, (std::vector<std::string>{
                                "Open a.mp3", "HasPicture BackCover", "AddPicture cover.jpg BackCover", "Save", "Close",
                                "Open b.mp3", "HasPicture BackCover", "Close",
                                "Open c.mp3", "HasPicture BackCover", "AddPicture cover.jpg BackCover", "Save", "Close"}));
    // A skipped file needs no cover: a folder without one skips it all the same.
    Tagger.Calls.clear();
    Host.SetFiles({Dir / "b.mp3"});
    Host.RunOptions.FolderCoverNames = {"cover.png"};
    Tagger.WithPicture = {Dir / "b.mp3"};
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Statuses, std::vector<std::string>{"Skipped"});
    // Without the option nobody asks.
    Tagger.Calls.clear();
    Host.SetFiles({"/music/b.mp3"});
    Host.RunOptions = {};
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(std::count(Tagger.Calls.begin(), Tagger.Calls.end(), "HasPicture BackCover"), 0);
}

TEST_F(BatchRunTest, ADryRunPreparesTheCoverApartAndLeavesTheDataFolderAlone) {
    Host.Picture = MakeJpeg(Dir / "cover.jpg", 1000, 400);
    Host.RunOptions.DryRun = true;
    Host.RunOptions.KeepTimes = true;
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    ASSERT_TRUE(Tagger.Begun.has_value());
    EXPECT_TRUE(Tagger.Begun->DryRun);
    EXPECT_TRUE(Tagger.Begun->KeepTimes);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"OK", "OK", "OK"}));
    EXPECT_EQ(Host.Picture, Dir / "cover.jpg") << "the host's picture stays the loaded one";
    EXPECT_FALSE(fs::exists(Dir / "temp.jpg"));
    ASSERT_EQ(Tagger.PictureFiles.size(), 3u);
    EXPECT_EQ(Tagger.PictureFileExisted, std::vector<bool>(3, true));
    EXPECT_FALSE(fs::exists(Tagger.PictureFiles[0])) << "the scaled copy outlived the run";
    EXPECT_EQ(DecodeJpegFile(Host.Picture).Width, 1000);
    ASSERT_EQ(Host.Reports.size(), 3u);
    EXPECT_EQ(Host.Reports[2].second.Cover->Width, 500);
    EXPECT_EQ(Host.Reports[2].second.Cover->Height, 200);
    // A cover that cannot be used still ends a dry run before any file.
    Host.Picture = Dir / "missing.jpg";
    Tagger.Calls.clear();
    EXPECT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boFailed);
    EXPECT_TRUE(Tagger.Calls.empty());
}

TEST(BatchSettings, TakenFromTheSettingsVariables) {
    MaxX = 640;
    MaxY = 480;
    JpegQuality = 33;
    KindOfPic = 7;
    const auto S = CurrentBatchSettings();
    EXPECT_EQ(S.MaxX, 640);
    EXPECT_EQ(S.MaxY, 480);
    EXPECT_EQ(S.JpegQuality, 33);
    EXPECT_EQ(S.KindOfPic, 7);
    MaxX = MaxY = 500;
    JpegQuality = 70;
    KindOfPic = 1;
}

}  // namespace
}  // namespace covrilo
