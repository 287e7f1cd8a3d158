// SPDX-License-Identifier: MIT
#include "app/Settings.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace covrilo {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::ToBytes;
using test::WriteFileBytes;

const std::string kFreshFile =
    "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n"
    "<!-- Generator: TXMLINI 1.x -->\r\n"
    "<xmlini>\r\n"
    "  <ImageSettings>\r\n"
    "    <JpegQuality>70</JpegQuality>\r\n"
    "    <MaxY>500</MaxY>\r\n"
    "    <MaxX>500</MaxX>\r\n"
    "  </ImageSettings>\r\n"
    "  <Id3Settings>\r\n"
    "    <TextEncoding>0</TextEncoding>\r\n"
    "    <KindOfPic>1</KindOfPic>\r\n"
    "  </Id3Settings>\r\n"
    "</xmlini>\r\n";

class SettingsTest : public testing::Test {
protected:
    void SetUp() override {
        MaxX = MaxY = JpegQuality = KindOfPic = TextEncoding = -1;
    }
    void TearDown() override { SettingsIni.reset(); }
    TempDir Dir;
};

TEST_F(SettingsTest, FreshInstallationReadsDefaultsAndWritesTheThirteenLines) {
    const auto File = Dir / "settings.xml";
    LoadSettings(File);
    EXPECT_EQ(MaxX, 500);
    EXPECT_EQ(MaxY, 500);
    EXPECT_EQ(JpegQuality, 70);
    EXPECT_EQ(KindOfPic, 1);
    EXPECT_EQ(TextEncoding, 0);
    EXPECT_EQ(ReadFileText(File),
              "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n<!-- Generator: TXMLINI 1.x -->\r\n"
              "<xmlini>\r\n</xmlini>\r\n");
    SaveSettings();
    EXPECT_EQ(SettingsIni, nullptr);
    EXPECT_EQ(ReadFileText(File), kFreshFile);

    // Loading and saving again leaves the file byte for byte as it was.
    LoadSettings(File);
    SaveSettings();
    EXPECT_EQ(ReadFileText(File), kFreshFile);
}

TEST_F(SettingsTest, ValuesSurviveARestart) {
    const auto File = Dir / "settings.xml";
    LoadSettings(File);
    MaxX = 1234;
    MaxY = 20;
    JpegQuality = 85;
    KindOfPic = 18;
    TextEncoding = 2;
    SaveSettings();
    MaxX = MaxY = JpegQuality = KindOfPic = TextEncoding = 0;
    LoadSettings(File);
    EXPECT_EQ(MaxX, 1234);
    EXPECT_EQ(MaxY, 20);
    EXPECT_EQ(JpegQuality, 85);
    EXPECT_EQ(KindOfPic, 18);
    EXPECT_EQ(TextEncoding, 2);
}

TEST_F(SettingsTest, HandEditedFileFallsBackPerValueAndKeepsOddLines) {
    const auto File = Dir / "settings.xml";
    WriteFileBytes(File, ToBytes("<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n"
                                 "<!-- Generator: TXMLINI 1.x -->\r\n"
                                 "<xmlini>\r\n"
                                 "  <ImageSettings>\r\n"
                                 "    <JpegQuality>90</JpegQuality>\r\n"
                                 "   <MaxY>300</MaxY>\r\n"
                                 "    <MaxX>abc</MaxX>\r\n"
                                 "  </ImageSettings>\r\n"
                                 "</xmlini>\r\n"));
    LoadSettings(File);
    EXPECT_EQ(MaxX, 500);         // letters
    EXPECT_EQ(MaxY, 500);         // indented by three blanks: invisible
    EXPECT_EQ(JpegQuality, 90);
    EXPECT_EQ(KindOfPic, 1);      // section missing
    EXPECT_EQ(TextEncoding, 0);
    SaveSettings();
    EXPECT_EQ(ReadFileText(File),
              "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n"
              "<!-- Generator: TXMLINI 1.x -->\r\n"
              "<xmlini>\r\n"
              "  <ImageSettings>\r\n"
              "    <JpegQuality>90</JpegQuality>\r\n"
              "    <MaxY>500</MaxY>\r\n"
              "    <MaxX>500</MaxX>\r\n"
              "   <MaxY>300</MaxY>\r\n"
              "  </ImageSettings>\r\n"
              "  <Id3Settings>\r\n"
              "    <TextEncoding>0</TextEncoding>\r\n"
              "    <KindOfPic>1</KindOfPic>\r\n"
              "  </Id3Settings>\r\n"
              "</xmlini>\r\n");
}

TEST_F(SettingsTest, FileRemovedWhileRunningIsWrittenAgainComplete) {
    const auto File = Dir / "settings.xml";
    LoadSettings(File);
    std::filesystem::remove(File);
    SaveSettings();
    EXPECT_EQ(ReadFileText(File), kFreshFile);
}

TEST_F(SettingsTest, UncreatableFileRaisesAndLeavesDefaults) {
    EXPECT_THROW(LoadSettings(Dir / "missing-folder" / "settings.xml"), std::exception);
    EXPECT_EQ(MaxX, 500);
    EXPECT_EQ(JpegQuality, 70);
    EXPECT_EQ(KindOfPic, 1);
    EXPECT_EQ(SettingsIni, nullptr);
    SaveSettings();  // nothing to write to; must not crash or create anything
    EXPECT_FALSE(std::filesystem::exists(Dir / "missing-folder"));
}

TEST_F(SettingsTest, ReopenAfterAFailedLoadSavesWhatWasSet) {
    const auto Sub = Dir / "sub";
    EXPECT_THROW(LoadSettings(Sub / "settings.xml"), std::exception);  // no folder yet
    MaxX = 640;
    KindOfPic = 4;
    EXPECT_THROW(ReopenSettings(Sub / "settings.xml"), std::exception);  // still none
    std::filesystem::create_directory(Sub);
    ReopenSettings(Sub / "settings.xml");
    SaveSettings();
    ReopenSettings(Sub / "settings.xml");  // a second shut-down writes the same file
    SaveSettings();
    LoadSettings(Sub / "settings.xml");
    EXPECT_EQ(MaxX, 640);
    EXPECT_EQ(KindOfPic, 4);
    EXPECT_EQ(JpegQuality, 70);
    std::string Text = ReadFileText(Sub / "settings.xml");
    EXPECT_EQ(std::count(Text.begin(), Text.end(), '\n'), 13) << Text;
}

TEST_F(SettingsTest, FailedSaveRaisesAndKeepsTheValues) {
    const auto Sub = Dir / "sub";
    std::filesystem::create_directory(Sub);
    LoadSettings(Sub / "settings.xml");
    MaxX = 777;
    std::filesystem::remove_all(Sub);  // nowhere to write any more
    EXPECT_THROW(SaveSettings(), std::system_error);
    EXPECT_EQ(MaxX, 777);
    ASSERT_NE(SettingsIni, nullptr);  // a later save may still succeed
    std::filesystem::create_directory(Sub);
    SaveSettings();
    LoadSettings(Sub / "settings.xml");
    EXPECT_EQ(MaxX, 777);
}

}  // namespace
}  // namespace covrilo
