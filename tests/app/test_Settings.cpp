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

// A settings file as TXMLIni writes it, with these values.
std::string SettingsFile(const std::string& MaxXValue, int MaxYValue, int Quality, int Kind, int Encoding) {
    auto Key = [](const char* Name, const std::string& Value) {
        return std::string("    <") + Name + ">" + Value + "</" + Name + ">\r\n";
    };
    return "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n<!-- Generator: TXMLINI 1.x -->\r\n<xmlini>\r\n"
           "  <ImageSettings>\r\n" +
           Key("JpegQuality", std::to_string(Quality)) + Key("MaxY", std::to_string(MaxYValue)) + Key("MaxX", MaxXValue) +
           "  </ImageSettings>\r\n  <Id3Settings>\r\n" + Key("TextEncoding", std::to_string(Encoding)) +
           Key("KindOfPic", std::to_string(Kind)) + "  </Id3Settings>\r\n</xmlini>\r\n";
}

TEST_F(SettingsTest, ReadOnceBringsValuesIntoTheWindowsRangesAndSaysWhatItCouldNotUse) {
    const std::string LineFormat =
        "the line format (one element on each line, sections indented by two blanks, keys by four)";
    std::string Tabbed = SettingsFile("300", 200, 90, 2, 2);
    for (size_t Pos; (Pos = Tabbed.find("  ")) != std::string::npos;) Tabbed.replace(Pos, 2, "\t");
    std::string OneLine = SettingsFile("300", 200, 90, 2, 2);
    std::erase(OneLine, '\r');
    std::erase(OneLine, '\n');
    std::string OneTabbedKey = SettingsFile("300", 200, 90, 2, 2);
    OneTabbedKey.replace(OneTabbedKey.find("    <MaxY>"), 4, "\t");
    struct Case {
        const char* Name;
        std::string Text;  // "" for no file
        std::vector<int32_t> Values;  // MaxX, MaxY, JpegQuality, KindOfPic, TextEncoding afterwards
        std::vector<std::string> Warnings;
    };
    const Case Cases[] = {
        {"no file", "", {500, 500, 70, 1, 0}, {}},
        {"in range", SettingsFile("300", 200, 90, 2, 2), {300, 200, 90, 2, 2}, {}},
        {"the empty document", "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n<xmlini>\r\n</xmlini>\r\n",
         {500, 500, 70, 1, 0}, {}},
        {"the lowest and highest", SettingsFile("20", 9999, 1, 18, 0), {20, 9999, 1, 18, 0}, {}},
        {"below and above the ranges", SettingsFile("19", 10000, 0, 1, 0), {20, 9999, 1, 1, 0},
         {"MaxX 19 is outside 20..9999; 20 is used, as in the window",
          "MaxY 10000 is outside 20..9999; 9999 is used, as in the window",
          "JpegQuality 0 is outside 1..100; 1 is used, as in the window"}},
        {"quality above 100, negative sizes", SettingsFile("-5", -1, 101, 1, 0), {20, 20, 100, 1, 0},
         {"MaxX -5 is outside 20..9999; 20 is used, as in the window",
          "MaxY -1 is outside 20..9999; 20 is used, as in the window",
          "JpegQuality 101 is outside 1..100; 100 is used, as in the window"}},
        // Kind and encoding keep their value; the run maps it as the window does.
        {"kind and encoding beyond their lists", SettingsFile("500", 500, 70, 19, 3), {500, 500, 70, 19, 3},
         {"KindOfPic 19 is outside 0..18; the kind Other is used, as in the window",
          "TextEncoding 3 is outside 0..2; ID3v2.3 ISO-8859-1 is used, as in the window"}},
        {"not a number", SettingsFile("wide", 500, 70, 1, 0), {500, 500, 70, 1, 0},
         {"MaxX \"wide\" is not a whole number; the default 500 is used"}},
        {"tab-indented", Tabbed, {500, 500, 70, 1, 0},
         {"the file cannot be read: it is not in " + LineFormat + "; the defaults are used"}},
        {"all on one line", OneLine, {500, 500, 70, 1, 0},
         {"the file cannot be read: it is not in " + LineFormat + "; the defaults are used"}},
        {"one key tab-indented", OneTabbedKey, {300, 500, 90, 2, 2},
         {"the line of MaxY is not in " + LineFormat + "; its default is used"}},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        const auto File = Dir / (std::string(C.Name) + ".xml");
        if (!C.Text.empty()) WriteFileBytes(File, ToBytes(C.Text));
        EXPECT_EQ(ReadSettingsOnce(File), C.Warnings);
        EXPECT_EQ((std::vector<int32_t>{MaxX, MaxY, JpegQuality, KindOfPic, TextEncoding}), C.Values);
        EXPECT_EQ(SettingsIni, nullptr);
        if (!C.Text.empty()) {
            EXPECT_EQ(ReadFileText(File), C.Text) << "read once means never written";
        }
    }
}

}  // namespace
}  // namespace covrilo
