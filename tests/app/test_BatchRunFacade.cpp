// SPDX-License-Identifier: MIT
// The batch run over the real tag front end: MP3s made by lame, pictures by Pillow, the
// written tags read back by mutagen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AppTestUtil.h"
#include "FakeBatchHost.h"
#include "app/BatchRun.h"
#include "app/MultitagTagger.h"

namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::TFakeHost;

// mutagen's view of the pictures: "version;type:mime:size;..." in frame order.
std::string MutagenPictures(const fs::path& File) {
    const std::string script =
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
    const auto r = test::RunCommand(std::string(test::kPython) + " -c " + test::ShellQuote(script) + " " +
                                    test::ShellQuote(File.string()));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return r.Output;
}

class BatchRunFacadeTest : public testing::Test {
   protected:
    void SetUp() override {
        if (!test::HaveTool("lame")) GTEST_SKIP() << "lame is not installed";
        if (!test::HavePillow()) GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed";
        if (test::RunCommand(std::string(test::kPython) + " -c 'import mutagen'").ExitCode != 0) {
            GTEST_SKIP() << "mutagen for /usr/bin/python3 is not installed";
        }
        host_.Data = dir_.Path();
        for (const char* name : {"one.mp3", "two.mp3"}) {
            const auto file = dir_ / name;
            const auto r =
                test::RunCommand("head -c 88200 /dev/zero | lame --quiet -r -s 44.1 --bitwidth 16 -m m - " +
                                 test::ShellQuote(file.string()));
            ASSERT_EQ(r.ExitCode, 0) << r.Output;
            host_.Paths.push_back(file);
        }
        host_.Statuses.assign(host_.Paths.size(), kStatusWaiting);
        const auto made = test::MakeQuadrantJpeg(dir_ / "cover.jpg", 1600, 1200);
        ASSERT_EQ(made.ExitCode, 0) << made.Output;
        host_.Picture = dir_ / "cover.jpg";
    }
    TempDir dir_;
    TMultitagTagger tagger_;
    TFakeHost host_;
};

TEST_F(BatchRunFacadeTest, AddReplaceAndRemovePictures) {
    // Front covers from the scaled copy.
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"OK", "OK"}));
    ASSERT_EQ(host_.Picture, dir_ / "temp.jpg");
    const auto scaled = std::to_string(fs::file_size(dir_ / "temp.jpg"));
    for (const auto& file : host_.Paths)
        EXPECT_EQ(MutagenPictures(file), "2.3;3:image/jpeg:" + scaled) << file;

    // A second run with the same kind replaces the picture; another kind adds one.
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    host_.Values.KindOfPic = 2;
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    for (const auto& file : host_.Paths) {
        EXPECT_EQ(MutagenPictures(file), "2.3;3:image/jpeg:" + scaled + ";4:image/jpeg:" + scaled) << file;
    }

    // Remove mode takes every picture out and keeps the tag.
    host_.Remove = true;
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"Deleted", "Deleted"}));
    for (const auto& file : host_.Paths) EXPECT_EQ(MutagenPictures(file), "2.3") << file;
}

TEST_F(BatchRunFacadeTest, Id3v24WhenChosen) {
    tagger_.Facade.ID3v2Format = 2;
    host_.Values.KindOfPic = 0;
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    const auto scaled = std::to_string(fs::file_size(dir_ / "temp.jpg"));
    EXPECT_EQ(MutagenPictures(host_.Paths[0]), "2.4;0:image/jpeg:" + scaled);
}

TEST_F(BatchRunFacadeTest, VanishedFile) {
    host_.Paths.insert(host_.Paths.begin() + 1, dir_ / "vanished.mp3");
    host_.Statuses.assign(host_.Paths.size(), kStatusWaiting);
    // Adding: the failed Open makes the save answer false, and the run goes on.
    ASSERT_EQ(RunBatch(host_, tagger_).Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"OK", "Error", "OK"}));
    EXPECT_FALSE(fs::exists(dir_ / "vanished.mp3"));

    // Removing: a file that Open could not read is refused like a save, with the reason.
    host_.Remove = true;
    host_.Statuses.assign(host_.Paths.size(), kStatusWaiting);
    const auto result = RunBatch(host_, tagger_);
    EXPECT_EQ(result.Outcome, TBatchOutcome::boCompleted);
    EXPECT_EQ(host_.Statuses, (std::vector<std::string>{"Deleted", "Error", "Deleted"}));
    EXPECT_EQ(tagger_.LastError(), "") << "the last file was removed without error";
    EXPECT_FALSE(fs::exists(dir_ / "vanished.mp3"));
}

}  // namespace
}  // namespace covrilo
