// SPDX-License-Identifier: MIT
// The batch run over the real tag front end: MP3s made by lame, pictures by Pillow, the
// written tags read back by mutagen.
#include "app/BatchRun.h"
#include "app/MultitagTagger.h"

#include "AppTestUtil.h"
#include "FakeBatchHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::TFakeHost;

// mutagen's view of the pictures: "version;type:mime:size;..." in frame order.
std::string MutagenPictures(const fs::path& File) {
    const std::string Script =
        "import sys\n"
        "from mutagen.id3 import ID3, ID3NoHeaderError\n"
        "try:\n"
        "    t = ID3(sys.argv[1])\n"
        "except ID3NoHeaderError:\n"
        "    print('none', end=''); sys.exit(0)\n"
        "parts = ['2.%d' % t.version[1]]\n"
        "for f in t.getall('APIC'):\n"
        "    parts.append('%d:%s:%d' % (f.type, f.mime, len(f.data)))\n"
        "print(';'.join(parts), end='')\n";
    const auto R = test::RunCommand(std::string(test::kPython) + " -c " + test::ShellQuote(Script) + " " +
                                    test::ShellQuote(File.string()));
    EXPECT_EQ(R.exitCode, 0) << R.output;
    return R.output;
}

class BatchRunFacadeTest : public testing::Test {
protected:
    void SetUp() override {
        if (!test::HaveTool("lame")) GTEST_SKIP() << "lame is not installed";
        if (!test::HavePillow()) GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed";
        if (test::RunCommand(std::string(test::kPython) + " -c 'import mutagen'").exitCode != 0) {
            GTEST_SKIP() << "mutagen for /usr/bin/python3 is not installed";
        }
        Host.Data = Dir.path();
        for (const char* Name : {"one.mp3", "two.mp3"}) {
            const auto File = Dir / Name;
            const auto R = test::RunCommand("head -c 88200 /dev/zero | lame --quiet -r -s 44.1 --bitwidth 16 -m m - " +
                                            test::ShellQuote(File.string()));
            ASSERT_EQ(R.exitCode, 0) << R.output;
            Host.Paths.push_back(File);
        }
        Host.Statuses.assign(Host.Paths.size(), kStatusWaiting);
        const auto Made = test::MakeQuadrantJpeg(Dir / "cover.jpg", 1600, 1200);
        ASSERT_EQ(Made.exitCode, 0) << Made.output;
        Host.Picture = Dir / "cover.jpg";
    }
    TempDir Dir;
    TMultitagTagger Tagger;
    TFakeHost Host;
};

TEST_F(BatchRunFacadeTest, AddReplaceAndRemovePictures) {
    // Front covers from the scaled copy.
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"OK", "OK"}));
    ASSERT_EQ(Host.Picture, Dir / "temp.jpg");
    const auto Scaled = std::to_string(fs::file_size(Dir / "temp.jpg"));
    for (const auto& File : Host.Paths) EXPECT_EQ(MutagenPictures(File), "2.3;3:image/jpeg:" + Scaled) << File;

    // A second run with the same kind replaces the picture; another kind adds one.
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    Host.Values.KindOfPic = 2;
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    for (const auto& File : Host.Paths) {
        EXPECT_EQ(MutagenPictures(File), "2.3;3:image/jpeg:" + Scaled + ";4:image/jpeg:" + Scaled) << File;
    }

    // Remove mode takes every picture out and keeps the tag.
    Host.Remove = true;
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"Deleted", "Deleted"}));
    for (const auto& File : Host.Paths) EXPECT_EQ(MutagenPictures(File), "2.3") << File;
}

TEST_F(BatchRunFacadeTest, Id3v24WhenChosen) {
    Tagger.Facade.ID3v2Format = 2;
    Host.Values.KindOfPic = 0;
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    const auto Scaled = std::to_string(fs::file_size(Dir / "temp.jpg"));
    EXPECT_EQ(MutagenPictures(Host.Paths[0]), "2.4;0:image/jpeg:" + Scaled);
}

TEST_F(BatchRunFacadeTest, VanishedFile) {
    Host.Paths.insert(Host.Paths.begin() + 1, Dir / "vanished.mp3");
    Host.Statuses.assign(Host.Paths.size(), kStatusWaiting);
    // Adding: the failed Open makes the save answer false, and the run goes on.
    ASSERT_EQ(RunBatch(Host, Tagger).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"OK", "Error", "OK"}));
    EXPECT_FALSE(fs::exists(Dir / "vanished.mp3"));

    // Removing: a file that Open could not read is refused like a save, with the reason.
    Host.Remove = true;
    Host.Statuses.assign(Host.Paths.size(), kStatusWaiting);
    const auto Result = RunBatch(Host, Tagger);
    EXPECT_EQ(Result.Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(Host.Statuses, (std::vector<std::string>{"Deleted", "Error", "Deleted"}));
    EXPECT_EQ(Tagger.LastError(), "") << "the last file was removed without error";
    EXPECT_FALSE(fs::exists(Dir / "vanished.mp3"));
}

}  // namespace
}  // namespace covrilo
