// SPDX-License-Identifier: MIT
// Growing and shrinking a tag in place by whole blocks of the file system (the saves of a run,
// through a TSaveBatch): on ext4 (a loop-mounted image, and the temp folder when it is one)
// the file keeps its inode and its audio blocks, the tag area grows by the fewest blocks
// that hold it, or loses every whole block of padding; where blocks cannot be shifted
// (tmpfs), and where the old tag has no block boundary inside its padding, the same save is
// the atomic rewrite with the usual 1 to 256 bytes of padding. Every file reads back with
// the same frames and the same audio.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ID3v2ClassTestUtil.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TPRIVFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "io/FileTransaction.h"
#include "io/SaveBatch.h"

namespace covrilo {
namespace {

using namespace test;
namespace fs = std::filesystem;

struct TFolder {
    std::string Name;
    fs::path Path;
    bool Shifts;  // the file system inserts and takes out blocks
};

// The folders to save in: the temp folder, and a loop-mounted ext4 and a tmpfs where they
// can be had (each skipped with its reason where not).
class BlockShift : public ::testing::Test {
   protected:
    void SetUp() override {
        folders_.push_back({"the temp folder", temp_.Path(), InsertsBlocks(temp_.Path())});
        for (TMountedDir* mount : {&ext4_, &tmpfs_}) {
            const std::string type = mount == &ext4_ ? "ext4" : "tmpfs";
            if (mount->Path().empty()) {
                std::cout << "[ skipped ] a " << type << " folder: " << mount->Reason() << "\n";
                continue;
            }
            folders_.push_back({type, mount->Path(), InsertsBlocks(mount->Path())});
        }
    }

    uint64_t Inode(const fs::path& File) {
        struct stat st {};
        EXPECT_EQ(::stat(File.c_str(), &st), 0);
        return st.st_ino;
    }
    static Bytes AudioOf(const Bytes& File) {
        size_t size = 0;
        for (int i = 6; i < 10; ++i) size = size * 128 + (File[static_cast<size_t>(i)] & 0x7F);
        return Bytes(File.begin() + static_cast<std::ptrdiff_t>(10 + size), File.end());
    }
    // Saves File with a batch's transaction (as a run does), after Change.
    template <typename TChange>
    void Save(const fs::path& File, TChange Change) {
        TSaveBatch batch;
        TFileTransaction transaction(File, &batch);
        TID3v2Class tag(File, transaction);
        Change(tag);
        ASSERT_TRUE(tag.SaveToFile(0x0300));
    }

    TempDir temp_;
    TMountedDir ext4_{"ext4"}, tmpfs_{"tmpfs"};
    std::vector<TFolder> folders_;
};

std::unique_ptr<TPRIVFrame> Blob(size_t Size) {
    auto frame = std::make_unique<TPRIVFrame>();
    frame->SetOwnerID("covrilo-test");
    Bytes data(Size);
    for (size_t i = 0; i < Size; ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
    frame->Data.Data() = data;
    return frame;
}

TEST_F(BlockShift, ATagThatOutgrowsItsPaddingGrowsInPlaceByWholeBlocks) {
    const Bytes audio = Audio(300000);
    const Bytes title = Frame23("TIT2", Latin1Text("Title"));
    struct TCase {
        const char* What;
        size_t Padding;  // of the old tag
        size_t Added;    // bytes of a new frame's content
        bool Boundary;   // a block boundary lies inside the old padding
    } cases[] = {
        {"a roomy tag, a picture", 6000, 150000, true},
        {"a roomy tag, just past its padding", 6000, 6000, true},
        {"a tight tag (no boundary in its padding)", 1000, 150000, false},
    };
    for (const TFolder& folder : folders_) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(folder.Name + ": " + c.What);
            const fs::path file = folder.Path / "song.mp3";
            WriteFileBytes(file, Cat({Tag(3, title, c.Padding), audio}));
            const uint64_t inode = Inode(file);
            const int64_t area = static_cast<int64_t>(10 + title.size() + c.Padding);
            Save(file, [&](TID3v2Class& Tag) { Tag.AddFrame(Blob(c.Added)); });
            const Bytes saved = ReadFileBytes(file);
            EXPECT_EQ(AudioOf(saved), audio);
            TID3v2Class after(file);
            ASSERT_EQ(after.FrameCount(), 2);
            EXPECT_EQ(after.Frames(0)->FrameID(), "TIT2");
            EXPECT_EQ(static_cast<TPRIVFrame*>(after.Frames(1))->Data.Data(), Blob(c.Added)->Data.Data());
            const int64_t used = static_cast<int64_t>(10 + title.size() + 10 + 13 + c.Added);
            const int64_t newArea = static_cast<int64_t>(after.TagSize) + 10;
            if (folder.Shifts && c.Boundary) {
                EXPECT_EQ(Inode(file), inode) << "not saved in place";
                EXPECT_EQ((newArea - area) % 4096, 0) << "the area grew by something else than whole blocks";
                EXPECT_GE(newArea - used, 1);
                EXPECT_LE(newArea - used, 4096);
            } else {
                EXPECT_NE(Inode(file), inode) << "not rewritten";
                EXPECT_GE(newArea - used, 1);
                EXPECT_LE(newArea - used, 256);
            }
            fs::remove(file);
        }
    }
}

TEST_F(BlockShift, ATagLeftWithTooMuchPaddingShrinksInPlaceByWholeBlocks) {
    const Bytes audio = Audio(300000);
    const Bytes title = Frame23("TIT2", Latin1Text("Title"));
    for (const TFolder& folder : folders_) {
        for (const size_t blob : {size_t{150000}, size_t{9000}}) {
            SCOPED_TRACE(folder.Name + ": a frame of " + std::to_string(blob) + " bytes removed");
            const fs::path file = folder.Path / "song.mp3";
            Bytes priv = Cat({Str("covrilo-test"), Bytes{0}, Bytes(blob, 0x5A)});
            WriteFileBytes(file, Cat({Tag(3, Cat({title, Frame23("PRIV", priv)}), 700), audio}));
            const uint64_t inode = Inode(file);
            Save(file, [](TID3v2Class& Tag) { Tag.DeleteFrame(1); });
            const Bytes saved = ReadFileBytes(file);
            EXPECT_EQ(AudioOf(saved), audio);
            TID3v2Class after(file);
            ASSERT_EQ(after.FrameCount(), 1);
            EXPECT_EQ(after.Frames(0)->FrameID(), "TIT2");
            const int64_t padding = static_cast<int64_t>(after.TagSize) - static_cast<int64_t>(title.size());
            if (folder.Shifts) {
                EXPECT_EQ(Inode(file), inode) << "not saved in place";
                EXPECT_GE(padding, 0);
                EXPECT_LT(padding, 2 * 4096);
            } else {
                EXPECT_NE(Inode(file), inode) << "not rewritten";
                EXPECT_GE(padding, 1);
                EXPECT_LE(padding, 256);
            }
            fs::remove(file);
        }
    }
}

TEST_F(BlockShift, ASaveAloneFollowsThePaddingRuleToTheByte) {
    // Without a batch (the library used on its own), a tag that outgrows its area is
    // rewritten with 1 to 256 bytes of padding on every file system.
    for (const TFolder& folder : folders_) {
        SCOPED_TRACE(folder.Name);
        const fs::path file = folder.Path / "song.mp3";
        const Bytes title = Frame23("TIT2", Latin1Text("Title"));
        WriteFileBytes(file, Cat({Tag(3, title, 6000), Audio(50000)}));
        const uint64_t inode = Inode(file);
        {
            TID3v2Class tag(file);
            tag.AddFrame(Blob(20000));
            ASSERT_TRUE(tag.SaveToFile(0x0300));
        }
        EXPECT_NE(Inode(file), inode);
        TID3v2Class after(file);
        EXPECT_EQ(after.TagSize % 256, 0u);
        fs::remove(file);
    }
}

}  // namespace
}  // namespace covrilo
