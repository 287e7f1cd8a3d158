// SPDX-License-Identifier: MIT
// Saves made durable together: transactions whose commit stays pending are finished by the
// batch a few at a time, each outcome reported once and only after its file is done;
// failures belong to the file they hit; a folder is read once for leftovers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "io/FileTransaction.h"
#include "io/SaveBatch.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using namespace test;
namespace fs = std::filesystem;

std::vector<std::string> Ours(const fs::path& Dir) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(Dir))
        if (e.path().filename().string().find(".covrilo-") != std::string::npos)
            found.push_back(e.path().filename());
    return found;
}

TEST(SaveBatch, PendingSavesAreFinishedTogetherAndEachOutcomeComesOnceWhenItsFileIsDone) {
    TempDir dir;
    const Bytes old = Pattern(20000, 1);
    // Even files are rewritten (the head grows), odd ones written in place.
    auto expected = [&](size_t I) {
        Bytes head = Pattern(I % 2 == 0 ? 5000 : 4096, static_cast<uint8_t>(I + 100));
        Bytes out = head;
        out.insert(out.end(), old.begin() + 4096, old.end());
        return std::make_pair(head, out);
    };
    TSaveBatch batch(3);
    std::vector<uint64_t> ids;
    std::set<uint64_t> reported;
    for (size_t i = 0; i < 7; ++i) {
        const fs::path file = dir / ("f" + std::to_string(i));
        WriteFileBytes(file, old);
        auto transaction = std::make_unique<TFileTransaction>(file, &batch);
        transaction->DeferCommit();
        const Bytes head = expected(i).first;
        if (i % 2 == 0)
            transaction->CommitRewrite({{0, 4096, head}});
        else
            transaction->CommitInPlace({{0, 4096, head}});
        ASSERT_TRUE(transaction->Pending());
        ids.push_back(batch.Adopt(std::move(transaction)));
        for (const TSaveBatch::TOutcome& o : batch.TakeOutcomes()) {
            EXPECT_FALSE(o.Error);
            EXPECT_TRUE(reported.insert(o.Id).second) << "reported twice";
            // Done means done: the file holds its new content and nothing of ours is left for it.
            const size_t index = static_cast<size_t>(std::find(ids.begin(), ids.end(), o.Id) - ids.begin());
            EXPECT_EQ(ReadFileBytes(dir / ("f" + std::to_string(index))), expected(index).second);
        }
    }
    // Three at a time: some were done before the end, not all.
    EXPECT_GT(reported.size(), 0u);
    EXPECT_LT(reported.size(), 7u);
    batch.Flush();
    for (const TSaveBatch::TOutcome& o : batch.TakeOutcomes()) {
        EXPECT_FALSE(o.Error);
        EXPECT_TRUE(reported.insert(o.Id).second);
    }
    EXPECT_EQ(reported.size(), 7u);
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(ReadFileBytes(dir / ("f" + std::to_string(i))), expected(i).second) << i;
    EXPECT_EQ(Ours(dir.Path()), std::vector<std::string>{});
}

TEST(SaveBatch, AFileThatChangesWhileItsSaveWaitsIsRefusedAloneAndLeftAsItIs) {
    TempDir dir;
    TSaveBatch batch(8);
    const Bytes old = Pattern(9000, 3);
    std::vector<uint64_t> ids;
    for (int i = 0; i < 3; ++i) {
        const fs::path file = dir / ("f" + std::to_string(i));
        WriteFileBytes(file, old);
        auto transaction = std::make_unique<TFileTransaction>(file, &batch);
        transaction->DeferCommit();
        if (i == 1)
            transaction->CommitInPlace({{0, 100, Pattern(100, 9)}});
        else
            transaction->CommitRewrite({{0, 100, Pattern(300, 9)}});
        ids.push_back(batch.Adopt(std::move(transaction)));
    }
    // Another program appends to two of them meanwhile (it does not lock them).
    Bytes grown = old;
    grown.push_back(0x42);
    for (int i : {0, 1}) WriteFileBytes(dir / ("f" + std::to_string(i)), grown);
    batch.Flush();
    int failed = 0;
    for (const TSaveBatch::TOutcome& o : batch.TakeOutcomes()) {
        const size_t index = static_cast<size_t>(std::find(ids.begin(), ids.end(), o.Id) - ids.begin());
        if (index < 2) {
            ASSERT_TRUE(o.Error) << index;
            try {
                std::rethrow_exception(o.Error);
            } catch (const EFileRefused& e) {
                EXPECT_NE(std::string(e.what()).find("changed"), std::string::npos) << e.what();
            }
            EXPECT_EQ(ReadFileBytes(dir / ("f" + std::to_string(index))), grown);
            ++failed;
        } else {
            EXPECT_FALSE(o.Error);
        }
    }
    EXPECT_EQ(failed, 2);
    EXPECT_EQ(Ours(dir.Path()), std::vector<std::string>{});
}

TEST(SaveBatch, AFileReplacedWhileItsSaveWaitsKeepsWhatReplacedIt) {
    // Another program's save renames its new file over the name: ours must not replace it,
    // nor report a save of a file that no longer has the name.
    TempDir dir;
    TSaveBatch batch(8);
    const Bytes old = Pattern(9000, 3), theirs = Pattern(9000, 77);
    std::vector<uint64_t> ids;
    for (int i = 0; i < 2; ++i) {
        const fs::path file = dir / ("f" + std::to_string(i));
        WriteFileBytes(file, old);
        auto transaction = std::make_unique<TFileTransaction>(file, &batch);
        transaction->DeferCommit();
        if (i == 0)
            transaction->CommitRewrite({{0, 100, Pattern(300, 9)}});
        else
            transaction->CommitInPlace({{0, 100, Pattern(100, 9)}});
        ids.push_back(batch.Adopt(std::move(transaction)));
        WriteFileBytes(dir / "theirs", theirs);
        fs::rename(dir / "theirs", file);
    }
    batch.Flush();
    for (const TSaveBatch::TOutcome& o : batch.TakeOutcomes()) {
        EXPECT_TRUE(o.Error);
        try {
            std::rethrow_exception(o.Error);
        } catch (const EFileRefused& e) {
            EXPECT_NE(std::string(e.what()).find("replaced"), std::string::npos) << e.what();
        }
    }
    for (int i = 0; i < 2; ++i) EXPECT_EQ(ReadFileBytes(dir / ("f" + std::to_string(i))), theirs);
    EXPECT_EQ(Ours(dir.Path()), std::vector<std::string>{});
}

TEST(SaveBatch, AFolderIsReadOnceForLeftovers) {
    TempDir dir;
    TSaveBatch batch;
    const fs::path a = dir / "a.mp3", b = dir / "b.mp3";
    WriteFileBytes(a, Pattern(100, 1));
    WriteFileBytes(b, Pattern(100, 2));
    // Leftovers of killed saves of both files.
    WriteFileBytes(dir / "a.mp3.covrilo-Xy12Ab34.$$$", Pattern(10, 3));
    WriteFileBytes(dir / "b.mp3.covrilo-Qw98Er76.$$$", Pattern(10, 4));
    { TFileTransaction t(a, &batch); }
    EXPECT_FALSE(fs::exists(dir / "a.mp3.covrilo-Xy12Ab34.$$$"));
    EXPECT_TRUE(fs::exists(dir / "b.mp3.covrilo-Qw98Er76.$$$"));
    // One that appears after the folder was read is left to the next run.
    WriteFileBytes(dir / "b.mp3.covrilo-Late0000.$$$", Pattern(10, 5));
    { TFileTransaction t(b, &batch); }
    EXPECT_FALSE(fs::exists(dir / "b.mp3.covrilo-Qw98Er76.$$$"));
    EXPECT_TRUE(fs::exists(dir / "b.mp3.covrilo-Late0000.$$$"));
    { TFileTransaction t(b); }
    EXPECT_FALSE(fs::exists(dir / "b.mp3.covrilo-Late0000.$$$"));
}

}  // namespace
}  // namespace covrilo
