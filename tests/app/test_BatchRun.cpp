// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "FakeBatchHost.h"
#include "app/BatchRun.h"
#include "app/CoverImage.h"
#include "app/Settings.h"
#include "io/EnhancedStreams.h"
#include "support/TestSupport.h"

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
    std::string Why;                       // LastError after a false answer
    std::vector<fs::path> PictureFiles;    // every AddPicture's file, with its folder
    std::vector<bool> PictureFileExisted;  // whether it was there when it was added
    std::vector<fs::path> WithPicture;     // files HasPicture answers true for
    std::optional<TBatchOptions> Begun;    // what BeginRun was told

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
        if (Current == ThrowOn)
            throw EFOpenError("Cannot open file " + Current.string() + ": locked", "locked");
        const auto it = SaveResults.find(Current);
        return it == SaveResults.end() || it->second;
    }
    std::string LastError() override { return Why; }
    bool RemoveAllPictures() override {
        Calls.push_back("RemoveAllPictures");
        if (Current == ThrowOn)
            throw EFOpenError("Cannot open file " + Current.string() + ": locked", "locked");
        const auto it = SaveResults.find(Current);
        return it == SaveResults.end() || it->second;
    }
    void Close() override { Calls.push_back("Close"); }
};

// A real JPEG of the given size, made with our encoder (the run decodes it).
fs::path MakeJpeg(const fs::path& File, int Width, int Height) {
    TRgbImage image{Width, Height, std::vector<uint8_t>(static_cast<size_t>(Width * Height * 3), 0x80)};
    const auto bytes = EncodeJpeg(image, 90);
    test::WriteFileBytes(File, bytes);
    return File;
}

class BatchRunTest : public testing::Test {
   protected:
    void SetUp() override {
        host_.Data = dir_.Path();
        host_.SetFiles({"/music/a.mp3", "/music/b.mp3", "/music/c.mp3"});
    }
    TempDir dir_;
    TFakeHost host_;
    TFakeTagger tagger_;
};

TEST(PictureTypeToName, KindTable) {
    const char* expected[] = {"Other",
                              "FrontCover",
                              "BackCover",
                              "LeafletPage",
                              "Media",
                              "LeadArtist",
                              "Artist",
                              "Conductor",
                              "Band",
                              "Composer",
                              "Lyricist",
                              "RecordingLocation",
                              "DuringRecording",
                              "DuringPerformance",
                              "VideoScreenCapture",
                              "ColouredFish",
                              "Illustration",
                              "BandLogo",
                              "PublisherStudio"};
    for (int i = 0; i < 19; ++i) EXPECT_EQ(PictureTypeToName(i), expected[i]) << i;
    for (int i : {-1, 19, 20, 1000, INT32_MIN}) EXPECT_EQ(PictureTypeToName(i), "Other") << i;
}

TEST_F(BatchRunTest, NothingToDoTouchesNothing) {
    // Add mode without a picture.
    EXPECT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boNothingToDo);
    // Empty list, even with a picture.
    host_.Picture = MakeJpeg(dir_ / "p.jpg", 10, 10);
    host_.SetFiles({});
    EXPECT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boNothingToDo);
    EXPECT_TRUE(tagger_.Calls.empty());
    EXPECT_EQ(host_.EventCalls, 0);
}

TEST_F(BatchRunTest, AddModeCallsTheFacadeInOrderAndSetsStatuses) {
    host_.Picture = MakeJpeg(dir_ / "cover.jpg", 100, 80);
    host_.Values.KindOfPic = 2;
    tagger_.SaveResults["/music/b.mp3"] = false;
    const auto result = RunBatch(host_, tagger_);
    EXPECT_EQ(result.Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(result.Done, 3);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"OK", "Error", "OK"}));
    EXPECT_EQ(tagger_.Calls,
              (std::vector<std::string>{"Open a.mp3", "AddPicture cover.jpg BackCover", "Save", "Close",
                                        "Open b.mp3", "AddPicture cover.jpg BackCover", "Save", "Close",
                                        "Open c.mp3", "AddPicture cover.jpg BackCover", "Save", "Close"}));
    EXPECT_EQ(host_.EventCalls, 3);
    EXPECT_EQ(host_.Picture, dir_ / "cover.jpg");  // within the limits: used as loaded
    EXPECT_FALSE(fs::exists(dir_ / "temp.jpg"));
}

TEST_F(BatchRunTest, LargePictureIsPreparedOnceAndTheCopyUsed) {
    host_.Picture = MakeJpeg(dir_ / "cover.jpg", 1000, 400);
    host_.Values.MaxX = 500;
    host_.Values.MaxY = 500;
    host_.Values.KindOfPic = 42;  // out of range: "Other"
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Picture, dir_ / "temp.jpg");
    const auto copy = DecodeJpegFile(dir_ / "temp.jpg");
    EXPECT_EQ(copy.Width, 500);
    EXPECT_EQ(copy.Height, 200);
    EXPECT_EQ(tagger_.Calls.at(1), "AddPicture temp.jpg Other");
    EXPECT_EQ(tagger_.Calls.at(5), "AddPicture temp.jpg Other");
}

TEST_F(BatchRunTest, RemoveModeIgnoresThePicture) {
    const auto cases = {fs::path(), dir_ / "damaged.jpg"};
    test::WriteFileBytes(dir_ / "damaged.jpg", test::ToBytes("not a picture"));
    for (const auto& picture : cases) {
        host_.SetFiles({"/music/a.mp3", "/music/b.mp3"});
        tagger_.Calls.clear();
        host_.Remove = true;
        host_.Picture = picture;
        ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted) << picture;
        EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"Deleted", "Deleted"}));
        EXPECT_EQ(tagger_.Calls, (std::vector<std::string>{"Open a.mp3", "RemoveAllPictures", "Close",
                                                           "Open b.mp3", "RemoveAllPictures", "Close"}));
        EXPECT_EQ(host_.Picture, picture);
    }
}

TEST_F(BatchRunTest, ARemovalThatFailedIsAnErrorNotDeleted) {
    host_.SetFiles({"/music/a.mp3", "/music/b.mp3"});
    host_.Remove = true;
    tagger_.SaveResults["/music/a.mp3"] = false;
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"Error", "Deleted"}));
}

TEST_F(BatchRunTest, CheckBoxIsReadForEveryFile) {
    host_.Picture = MakeJpeg(dir_ / "cover.jpg", 900, 900);
    host_.Values.MaxX = host_.Values.MaxY = 300;
    host_.Remove = true;
    host_.OnEvents = [this](int Done) { host_.Remove = Done != 0; };  // add for the second file only
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"Deleted", "OK", "Deleted"}));
    // The picture was not prepared up front, but it is before it is first added.
    EXPECT_EQ(tagger_.Calls.at(4), "AddPicture temp.jpg FrontCover");
    EXPECT_EQ(DecodeJpegFile(host_.Picture).Width, 300);
}

TEST_F(BatchRunTest, SwitchingToAddWithoutAPictureMarksTheFileAsError) {
    host_.Remove = true;
    host_.OnEvents = [this](int) { host_.Remove = false; };
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"Deleted", "Error", "Error"}));
    EXPECT_EQ(std::count(tagger_.Calls.begin(), tagger_.Calls.end(), "Save"), 0);
}

TEST_F(BatchRunTest, APictureClosedDuringTheRunIsNotAddedAnyMore) {
    host_.Picture = MakeJpeg(dir_ / "cover.jpg", 900, 900);
    host_.ContinueOnError = true;
    host_.OnEvents = [this](int) { host_.Picture.clear(); };
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"OK", "Error", "Error"}));
    EXPECT_EQ(host_.Reasons,
              (std::vector<std::pair<int, std::string>>{{1, "no picture to add"}, {2, "no picture to add"}}));
}

TEST_F(BatchRunTest, ErrorInAFileEndsTheRunAndKeepsStatuses) {
    host_.Picture = MakeJpeg(dir_ / "cover.jpg", 50, 50);
    host_.Statuses = {"old", "old", "old"};
    tagger_.ThrowOn = "/music/b.mp3";
    const auto result = RunBatch(host_, tagger_);
    EXPECT_EQ(result.Outcome, TBatchOutcome::boFailed);
    EXPECT_EQ(result.Message, "Cannot open file /music/b.mp3: locked");
    EXPECT_EQ(result.Done, 1);
    EXPECT_EQ(result.FailedIndex, 1);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"OK", "old", "old"}));
    // The open file is closed and nothing after it is touched.
    EXPECT_EQ(tagger_.Calls.back(), "Close");
    EXPECT_EQ(std::count(tagger_.Calls.begin(), tagger_.Calls.end(), "Open c.mp3"), 0);

    // Same in remove mode.
    tagger_.Calls.clear();
    host_.Remove = true;
    host_.Statuses = {"old", "old", "old"};
    const auto removed = RunBatch(host_, tagger_);
    EXPECT_EQ(removed.Outcome, TBatchOutcome::boFailed);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"Deleted", "old", "old"}));
}

TEST_F(BatchRunTest, AHostThatGoesOnGivesTheFailingFileErrorWithItsReason) {
    host_.Picture = MakeJpeg(dir_ / "cover.jpg", 50, 50);
    host_.ContinueOnError = true;
    for (const bool remove : {false, true}) {
        SCOPED_TRACE(remove ? "remove" : "add");
        host_.Remove = remove;
        host_.Statuses = {"old", "old", "old"};
        host_.Reasons.clear();
        tagger_.Calls.clear();
        tagger_.ThrowOn = "/music/b.mp3";  // raises: locked
        tagger_.SaveResults = {{"/music/c.mp3", false}};
        tagger_.Why = "not an MPEG audio file";
        const auto result = RunBatch(host_, tagger_);
        EXPECT_EQ(result.Outcome, TBatchOutcome::boCompleted);
        EXPECT_EQ(result.Done, 3);
        EXPECT_EQ(host_.Statuses, (std::vector<std::string>{remove ? "Deleted" : "OK", "Error", "Error"}));
        EXPECT_EQ(host_.Reasons,
                  (std::vector<std::pair<int, std::string>>{{1, "locked"}, {2, "not an MPEG audio file"}}));
        // Every file that was opened is closed, the failing one too.
        EXPECT_EQ(std::count(tagger_.Calls.begin(), tagger_.Calls.end(), "Close"), 3);
    }
    // Without a reason from the tagger the host still hears why in general terms.
    host_.Reasons.clear();
    tagger_.ThrowOn.clear();
    tagger_.Why.clear();
    host_.Remove = false;
    RunBatch(host_, tagger_);
    EXPECT_EQ(host_.Reasons, (std::vector<std::pair<int, std::string>>{{2, "the file could not be saved"}}));
}

TEST_F(BatchRunTest, UnreadablePictureEndsTheRunBeforeAnyFile) {
    test::WriteFileBytes(dir_ / "bad.jpg", test::ToBytes("\xFF\xD8\xFF\xE0 broken"));
    const fs::path cases[] = {dir_ / "bad.jpg", dir_ / "vanished.jpg"};
    for (const auto& picture : cases) {
        host_.Picture = picture;
        const auto result = RunBatch(host_, tagger_);
        EXPECT_EQ(result.Outcome, TBatchOutcome::boFailed) << picture;
        EXPECT_FALSE(result.Message.empty());
        EXPECT_EQ(result.FailedIndex, -1);
        EXPECT_EQ(result.Done, 0);
        EXPECT_TRUE(tagger_.Calls.empty());
        EXPECT_EQ(host_.Statuses, (std::vector<std::string>(3, kStatusWaiting)));
        EXPECT_EQ(host_.Picture, picture);
    }
}

TEST_F(BatchRunTest, EntryCountIsTakenOnceAndDuplicatesAreProcessedTwice) {
    host_.Picture = MakeJpeg(dir_ / "cover.jpg", 20, 20);
    host_.SetFiles({"/music/a.mp3", "/music/a.mp3"});
    host_.OnEvents = [this](int) {
        host_.Paths.push_back("/music/late.mp3");
        host_.Statuses.push_back(kStatusWaiting);
    };
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(std::count(tagger_.Calls.begin(), tagger_.Calls.end(), "Open a.mp3"), 2);
    EXPECT_EQ(std::count(tagger_.Calls.begin(), tagger_.Calls.end(), "Open late.mp3"), 0);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"OK", "OK", kStatusWaiting, kStatusWaiting}));
}

TEST_F(BatchRunTest, AStopRequestEndsTheRunAfterTheCurrentFile) {
    host_.Picture = MakeJpeg(dir_ / "cover.jpg", 20, 20);
    host_.OnEvents = [this](int Done) { host_.Stop = Done == 0; };  // asked while the first file is done
    const auto result = RunBatch(host_, tagger_);
    EXPECT_EQ(result.Outcome, TBatchOutcome::boStopped);
    EXPECT_EQ(result.Done, 1);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"OK", kStatusWaiting, kStatusWaiting}));
    EXPECT_EQ(tagger_.Calls.back(), "Close");
    EXPECT_EQ(std::count(tagger_.Calls.begin(), tagger_.Calls.end(), "Open b.mp3"), 0);

    // A request after the last file changes nothing: the run is complete.
    tagger_.Calls.clear();
    host_.SetFiles({"/music/a.mp3"});
    host_.OnEvents = [this](int) { host_.Stop = true; };
    EXPECT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"OK"}));
}

TEST_F(BatchRunTest, EachFolderGetsItsOwnCoverPreparedOnce) {
    for (const char* album : {"A", "B", "C", "D", "E"}) fs::create_directories(dir_ / album);
    MakeJpeg(dir_ / "A" / "cover.jpg", 1000, 400);  // scaled to 500 x 200
    MakeJpeg(dir_ / "B" / "Folder.JPG", 100, 80);   // within the limits: used as it is
    test::WriteFileBytes(dir_ / "C" / "cover.txt", test::ToBytes("no picture"));
    test::WriteFileBytes(dir_ / "D" / "COVER.JPG", test::ToBytes("damaged"));
    MakeJpeg(dir_ / "E" / "folder.jpg", 400, 1000);  // scaled to 200 x 500
    MakeJpeg(dir_ / "E" / "cover.jpg", 40, 40);      // the first name wins
    host_.SetFiles({dir_ / "A/1.mp3", dir_ / "B/1.mp3", dir_ / "A/2.mp3", dir_ / "C/1.mp3", dir_ / "D/1.mp3",
                    dir_ / "D/2.mp3", dir_ / "E/1.mp3"});
    host_.RunOptions.FolderCoverNames = {"folder.jpg", "cover.jpg"};
    host_.ContinueOnError = true;
    host_.Picture = dir_ / "ignored.jpg";  // not a file: the folders' covers are used instead
    // A's copy stays while A's files are not all done (B's file comes between them), and goes
    // with A's last one.
    std::vector<bool> copyOfAAfter;
    host_.OnEvents = [&](int) { copyOfAAfter.push_back(fs::exists(tagger_.PictureFiles.at(0))); };
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(copyOfAAfter, (std::vector<bool>{true, true, false, false, false, false, false}));

    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"OK", "OK", "OK", "Error", "Error", "Error", "OK"}));
    ASSERT_EQ(host_.Reasons.size(), 3u);
    EXPECT_EQ(
        host_.Reasons[0],
        std::make_pair(3, std::string("no cover picture in its folder (none of folder.jpg, cover.jpg)")));
    for (const int index : {4, 5}) {
        const auto& [At, Reason] = host_.Reasons[static_cast<size_t>(index - 3)];
        EXPECT_EQ(At, index);
        EXPECT_EQ(Reason.rfind("its folder's cover COVER.JPG cannot be used: Not a JPEG file", 0), 0u)
            << Reason;
    }
    ASSERT_EQ(tagger_.PictureFiles.size(), 4u);
    // A's two files share one prepared copy, made apart from "temp.jpg" and gone after the run.
    EXPECT_EQ(tagger_.PictureFiles[0], tagger_.PictureFiles[2]);
    EXPECT_EQ(tagger_.PictureFiles[1], dir_ / "B" / "Folder.JPG");
    EXPECT_NE(tagger_.PictureFiles[3], tagger_.PictureFiles[0]);
    EXPECT_EQ(tagger_.PictureFileExisted, std::vector<bool>(4, true));
    for (const size_t index : {size_t{0}, size_t{3}}) {
        EXPECT_FALSE(fs::exists(tagger_.PictureFiles[index]))
            << "left after the run: " << tagger_.PictureFiles[index];
        EXPECT_NE(tagger_.PictureFiles[index].parent_path(), dir_.Path());
    }
    EXPECT_FALSE(fs::exists(dir_ / "temp.jpg"));
    EXPECT_EQ(host_.Picture, dir_ / "ignored.jpg");

    // What each file got, for the host to show.
    ASSERT_EQ(host_.Reports.size(), 7u);
    const auto& a = host_.Reports[0].second.Cover;
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->Source, dir_ / "A" / "cover.jpg");
    EXPECT_EQ(std::make_tuple(a->SourceWidth, a->SourceHeight, a->Width, a->Height, a->Scaled),
              std::make_tuple(1000, 400, 500, 200, true));
    const auto& b = host_.Reports[1].second.Cover;
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(
        std::make_tuple(b->Width, b->Height, b->Scaled, b->Bytes),
        std::make_tuple(100, 80, false, static_cast<int64_t>(fs::file_size(dir_ / "B" / "Folder.JPG"))));
    const auto& e = host_.Reports[6].second.Cover;
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(std::make_tuple(e->Source, e->Width, e->Height),
              std::make_tuple(dir_ / "E" / "folder.jpg", 200, 500));
    EXPECT_FALSE(host_.Reports[3].second.Cover.has_value());
}

TEST_F(BatchRunTest, OnlyIfMissingSkipsAFileWithAPictureOfTheKindWithoutSavingIt) {
    host_.Picture = MakeJpeg(dir_ / "cover.jpg", 20, 20);
    host_.Values.KindOfPic = 2;
    host_.RunOptions.OnlyIfMissing = true;
    tagger_.WithPicture = {"/music/b.mp3"};
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"OK", "Skipped", "OK"}));
    EXPECT_EQ(tagger_.Calls, (std::vector<std::string>{
                                 "Open a.mp3", "HasPicture BackCover", "AddPicture cover.jpg BackCover",
                                 "Save", "Close", "Open b.mp3", "HasPicture BackCover", "Close", "Open c.mp3",
                                 "HasPicture BackCover", "AddPicture cover.jpg BackCover", "Save", "Close"}));
    // A skipped file needs no cover: a folder without one skips it all the same.
    tagger_.Calls.clear();
    host_.SetFiles({dir_ / "b.mp3"});
    host_.RunOptions.FolderCoverNames = {"cover.png"};
    tagger_.WithPicture = {dir_ / "b.mp3"};
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Statuses, std::vector<std::string>{"Skipped"});
    // Without the option nobody asks.
    tagger_.Calls.clear();
    host_.SetFiles({"/music/b.mp3"});
    host_.RunOptions = {};
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(std::count(tagger_.Calls.begin(), tagger_.Calls.end(), "HasPicture BackCover"), 0);
}

TEST_F(BatchRunTest, ADryRunPreparesTheCoverApartAndLeavesTheDataFolderAlone) {
    host_.Picture = MakeJpeg(dir_ / "cover.jpg", 1000, 400);
    host_.RunOptions.DryRun = true;
    host_.RunOptions.KeepTimes = true;
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    ASSERT_TRUE(tagger_.Begun.has_value());
    EXPECT_TRUE(tagger_.Begun->DryRun);
    EXPECT_TRUE(tagger_.Begun->KeepTimes);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"OK", "OK", "OK"}));
    EXPECT_EQ(host_.Picture, dir_ / "cover.jpg") << "the host's picture stays the loaded one";
    EXPECT_FALSE(fs::exists(dir_ / "temp.jpg"));
    ASSERT_EQ(tagger_.PictureFiles.size(), 3u);
    EXPECT_EQ(tagger_.PictureFileExisted, std::vector<bool>(3, true));
    EXPECT_FALSE(fs::exists(tagger_.PictureFiles[0])) << "the scaled copy outlived the run";
    EXPECT_EQ(DecodeJpegFile(host_.Picture).Width, 1000);
    ASSERT_EQ(host_.Reports.size(), 3u);
    EXPECT_EQ(host_.Reports[2].second.Cover->Width, 500);
    EXPECT_EQ(host_.Reports[2].second.Cover->Height, 200);
    // A cover that cannot be used still ends a dry run before any file.
    host_.Picture = dir_ / "missing.jpg";
    tagger_.Calls.clear();
    EXPECT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boFailed);
    EXPECT_TRUE(tagger_.Calls.empty());
}

TEST(BatchSettings, TakenFromTheSettingsVariables) {
    MaxX = 640;
    MaxY = 480;
    JpegQuality = 33;
    KindOfPic = 7;
    const auto s = CurrentBatchSettings();
    EXPECT_EQ(s.MaxX, 640);
    EXPECT_EQ(s.MaxY, 480);
    EXPECT_EQ(s.JpegQuality, 33);
    EXPECT_EQ(s.KindOfPic, 7);
    MaxX = MaxY = 500;
    JpegQuality = 70;
    KindOfPic = 1;
}

}  // namespace
}  // namespace covrilo
