// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "io/EnhancedStreams.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using test::Bytes;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(TMemoryStream, ReadsAreBoundedByTheData) {
    TMemoryStream s(Bytes{1, 2, 3});
    uint8_t buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 3);
    EXPECT_EQ(s.Read(buf, 8), 0);
    s.SetPosition(100);  // past the end is allowed, reading there gives nothing
    EXPECT_EQ(s.Read(buf, 1), 0);
    EXPECT_EQ(s.Remaining(), 0);
    s.SetPosition(1);
    EXPECT_EQ(s.ReadBytes(1 << 30), (Bytes{2, 3}));  // never allocates what is not there
}

TEST(TMemoryStream, WriteGrowsAndSeekRejectsNegativePositions) {
    TMemoryStream s;
    const uint8_t data[] = {9, 8, 7};
    s.SetPosition(2);
    EXPECT_EQ(s.Write(data, 3), 3);
    EXPECT_EQ(s.Data(), (Bytes{0, 0, 9, 8, 7}));
    EXPECT_EQ(s.Seek(-10, TSeekOrigin::soCurrent), 5);  // unchanged
    EXPECT_EQ(s.Seek(-2, TSeekOrigin::soEnd), 3);
}

TEST(TStream, ReadBytesAtGivesAllTheBytesOrNone) {
    TMemoryStream s(Bytes{1, 2, 3, 4, 5});
    EXPECT_EQ(s.ReadBytesAt(1, 3), (Bytes{2, 3, 4}));
    EXPECT_EQ(s.ReadBytesAt(3, 2), (Bytes{4, 5}));
    EXPECT_EQ(s.ReadBytesAt(3, 3), std::nullopt);  // one byte short
    EXPECT_EQ(s.ReadBytesAt(-1, 1), std::nullopt);
    EXPECT_EQ(s.ReadBytesAt(5, 0), Bytes{});
}

TEST(TStream, CopyFromCopiesTheRestWhenCountIsZero) {
    TMemoryStream src(Bytes{1, 2, 3, 4, 5});
    src.SetPosition(2);
    TMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 0), 3);
    EXPECT_EQ(dst.Data(), (Bytes{3, 4, 5}));
}

TEST(TUnicodeFileStream, ReadWriteSeekAndSize) {
    TempDir dir;
    auto file = dir / "a.bin";
    WriteFileBytes(file, Bytes{1, 2, 3, 4});
    {
        TUnicodeFileStream s(file, fmOpenReadWrite | fmShareExclusive);
        EXPECT_EQ(s.Size(), 4);
        s.SetPosition(3);
        const uint8_t more[] = {7, 8};
        EXPECT_EQ(s.Write(more, 2), 2);
        EXPECT_EQ(s.Position(), 5);
        s.SetPosition(0);
        uint8_t buf[10];
        EXPECT_EQ(s.Read(buf, 10), 5);
        s.SetSize(2);
    }
    EXPECT_EQ(ReadFileBytes(file), (Bytes{1, 2}));
}

TEST(TUnicodeFileStream, CreateTruncatesAnExistingFile) {
    TempDir dir;
    auto file = dir / "c.bin";
    WriteFileBytes(file, Bytes{1, 2, 3});
    {
        TUnicodeFileStream s(file, fmCreate);
        EXPECT_EQ(s.Size(), 0);
    }
    EXPECT_TRUE(ReadFileBytes(file).empty());
}

TEST(TUnicodeFileStream, ErrorMessagesNameTheFile) {
    TempDir dir;
    auto missing = dir / "missing.mp3";
    try {
        TUnicodeFileStream s(missing, fmOpenRead | fmShareDenyWrite);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing.string() + ": not found");
        EXPECT_EQ(e.Reason(), "not found");
    }
    auto bad = dir / "no-such-dir" / "x.$$$";
    try {
        TUnicodeFileStream s(bad, fmCreate);
        FAIL() << "created in a missing folder";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + bad.string() + ": not found");
    }
    EXPECT_THROW(TUnicodeFileStream(dir.Path(), fmOpenRead | fmShareDenyNone), EFOpenError);  // a folder
}

// Which second open succeeds while a first handle is held, by the two modes.
struct SharingCase {
    uint16_t First;
    uint16_t Second;
    bool SecondOpens;
};

class Sharing : public ::testing::TestWithParam<SharingCase> {};

TEST_P(Sharing, SecondOpenFollowsTheSharingBits) {
    TempDir dir;
    auto file = dir / "s.mp3";
    WriteFileBytes(file, Bytes{1, 2, 3});
    const auto& c = GetParam();
    TUnicodeFileStream first(file, c.First);
    if (c.SecondOpens) {
        EXPECT_NO_THROW(TUnicodeFileStream(file, c.Second));
    } else {
        // EFOpenError for opens, EFCreateError for creates: both are runtime errors.
        EXPECT_THROW(TUnicodeFileStream(file, c.Second), std::runtime_error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Sharing,
    ::testing::Values(
        SharingCase{fmOpenRead | fmShareDenyWrite, fmOpenRead | fmShareDenyWrite, true},  // two loaders
        SharingCase{fmOpenRead | fmShareDenyWrite, fmOpenReadWrite | fmShareExclusive,
                    false},  // save while loading
        SharingCase{fmOpenReadWrite | fmShareExclusive, fmOpenRead | fmShareDenyWrite,
                    false},  // load while saving
        SharingCase{fmOpenReadWrite | fmShareExclusive, fmOpenRead | fmShareDenyNone, true},  // picture peek
        SharingCase{fmOpenReadWrite | fmShareExclusive, fmCreate, false},
        SharingCase{fmOpenRead | fmShareDenyNone, fmOpenReadWrite | fmShareExclusive, true}));

TEST(TMemoryMappedFileStream, EmptyFileMapsNothingAndReadsNothing) {
    TempDir dir;
    auto file = dir / "empty.mp3";
    WriteFileBytes(file, {});
    TMemoryMappedFileStream s(file, false, "", fmOpenRead | fmShareDenyWrite);
    EXPECT_FALSE(s.IsMapped());
    EXPECT_EQ(s.Size(), 0);
    uint8_t b;
    EXPECT_EQ(s.Read(&b, 1), 0);
}

TEST(TMemoryMappedFileStream, ReadsTheFileThroughTheMapping) {
    TempDir dir;
    auto file = dir / "m.mp3";
    WriteFileBytes(file, Bytes{'I', 'D', '3', 4, 0});
    TMemoryMappedFileStream s(file, false, "", fmOpenRead | fmShareDenyWrite);
    EXPECT_TRUE(s.IsMapped());
    EXPECT_EQ(s.ReadBytes(100), (Bytes{'I', 'D', '3', 4, 0}));
    uint8_t x = 1;
    EXPECT_EQ(s.Write(&x, 1), 0);  // read-only view takes no writes
}

TEST(TMemoryMappedFileStream, WritePastTheEndGrowsTheFileExactly) {
    TempDir dir;
    auto file = dir / "g.bin";
    WriteFileBytes(file, Bytes{1, 2, 3, 4});
    {
        TMemoryMappedFileStream s(file, false, "", fmOpenReadWrite | fmShareExclusive);
        s.SetPosition(2);
        const uint8_t two[] = {8, 9};
        EXPECT_EQ(s.Write(two, 2), 2);  // ends exactly at the size: no growth
        EXPECT_EQ(s.Size(), 4);
        const uint8_t three[] = {5, 6, 7};
        EXPECT_EQ(s.Write(three, 3), 3);
        EXPECT_EQ(s.Size(), 7);
    }
    EXPECT_EQ(ReadFileBytes(file), (Bytes{1, 2, 8, 9, 5, 6, 7}));
}

TEST(TMemoryMappedFileStream, EmptyFileGrowsOnFirstWrite) {
    TempDir dir;
    auto file = dir / "e.bin";
    WriteFileBytes(file, {});
    {
        TMemoryMappedFileStream s(file, false, "", fmOpenReadWrite | fmShareExclusive);
        const uint8_t data[] = {1, 2};
        s.SetPosition(1);
        EXPECT_EQ(s.Write(data, 2), 2);
        EXPECT_TRUE(s.IsMapped());
    }
    EXPECT_EQ(ReadFileBytes(file), (Bytes{0, 1, 2}));
}

TEST(TMemoryMappedFileStream, LoadingDeniesSaving) {
    TempDir dir;
    auto file = dir / "l.mp3";
    WriteFileBytes(file, Bytes{1});
    TMemoryMappedFileStream loading(file, false, "", fmOpenRead | fmShareDenyWrite);
    try {
        TUnicodeFileStream saving(file, fmOpenReadWrite | fmShareExclusive);
        FAIL() << "save opened while the file was mapped for loading";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + file.string() + ": locked by another program");
        EXPECT_EQ(e.Reason(), "locked by another program");
    }
}

TEST(TMemoryMappedFileStream, CopyOnWriteChangesMemoryNotTheFile) {
    TempDir dir;
    auto file = dir / "cow.bin";
    WriteFileBytes(file, Bytes{1, 2, 3});
    {
        TMemoryMappedFileStream s(file, true, "", fmOpenRead | fmShareDenyWrite);
        const uint8_t x = 9;
        EXPECT_EQ(s.Write(&x, 1), 1);
        s.SetPosition(0);
        EXPECT_EQ(s.ReadBytes(3), (Bytes{9, 2, 3}));
    }
    EXPECT_EQ(ReadFileBytes(file), (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace covrilo
