// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/Settings.h"
#include "support/TestSupport.h"

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
    void SetUp() override { MaxX = MaxY = JpegQuality = KindOfPic = TextEncoding = -1; }
    void TearDown() override { SettingsIni.reset(); }
    TempDir dir_;
};

TEST_F(SettingsTest, FreshInstallationReadsDefaultsAndWritesTheThirteenLines) {
    const auto file = dir_ / "settings.xml";
    LoadSettings(file);
    EXPECT_EQ(MaxX, 500);
    EXPECT_EQ(MaxY, 500);
    EXPECT_EQ(JpegQuality, 70);
    EXPECT_EQ(KindOfPic, 1);
    EXPECT_EQ(TextEncoding, 0);
    EXPECT_EQ(ReadFileText(file),
              "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n<!-- Generator: TXMLINI 1.x -->\r\n"
              "<xmlini>\r\n</xmlini>\r\n");
    SaveSettings();
    EXPECT_EQ(SettingsIni, nullptr);
    EXPECT_EQ(ReadFileText(file), kFreshFile);

    // Loading and saving again leaves the file byte for byte as it was.
    LoadSettings(file);
    SaveSettings();
    EXPECT_EQ(ReadFileText(file), kFreshFile);
}

TEST_F(SettingsTest, ValuesSurviveARestart) {
    const auto file = dir_ / "settings.xml";
    LoadSettings(file);
    MaxX = 1234;
    MaxY = 20;
    JpegQuality = 85;
    KindOfPic = 18;
    TextEncoding = 2;
    SaveSettings();
    MaxX = MaxY = JpegQuality = KindOfPic = TextEncoding = 0;
    LoadSettings(file);
    EXPECT_EQ(MaxX, 1234);
    EXPECT_EQ(MaxY, 20);
    EXPECT_EQ(JpegQuality, 85);
    EXPECT_EQ(KindOfPic, 18);
    EXPECT_EQ(TextEncoding, 2);
}

TEST_F(SettingsTest, HandEditedFileFallsBackPerValueAndKeepsOddLines) {
    const auto file = dir_ / "settings.xml";
    WriteFileBytes(file, ToBytes("<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n"
                                 "<!-- Generator: TXMLINI 1.x -->\r\n"
                                 "<xmlini>\r\n"
                                 "  <ImageSettings>\r\n"
                                 "    <JpegQuality>90</JpegQuality>\r\n"
                                 "   <MaxY>300</MaxY>\r\n"
                                 "    <MaxX>abc</MaxX>\r\n"
                                 "  </ImageSettings>\r\n"
                                 "</xmlini>\r\n"));
    LoadSettings(file);
    EXPECT_EQ(MaxX, 500);  // letters
    EXPECT_EQ(MaxY, 500);  // indented by three blanks: invisible
    EXPECT_EQ(JpegQuality, 90);
    EXPECT_EQ(KindOfPic, 1);  // section missing
    EXPECT_EQ(TextEncoding, 0);
    SaveSettings();
    EXPECT_EQ(ReadFileText(file),
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
    const auto file = dir_ / "settings.xml";
    LoadSettings(file);
    std::filesystem::remove(file);
    SaveSettings();
    EXPECT_EQ(ReadFileText(file), kFreshFile);
}

TEST_F(SettingsTest, UncreatableFileRaisesAndLeavesDefaults) {
    EXPECT_THROW(LoadSettings(dir_ / "missing-folder" / "settings.xml"), std::exception);
    EXPECT_EQ(MaxX, 500);
    EXPECT_EQ(JpegQuality, 70);
    EXPECT_EQ(KindOfPic, 1);
    EXPECT_EQ(SettingsIni, nullptr);
    SaveSettings();  // nothing to write to; must not crash or create anything
    EXPECT_FALSE(std::filesystem::exists(dir_ / "missing-folder"));
}

TEST_F(SettingsTest, ReopenAfterAFailedLoadSavesWhatWasSet) {
    const auto sub = dir_ / "sub";
    EXPECT_THROW(LoadSettings(sub / "settings.xml"), std::exception);  // no folder yet
    MaxX = 640;
    KindOfPic = 4;
    EXPECT_THROW(ReopenSettings(sub / "settings.xml"), std::exception);  // still none
    std::filesystem::create_directory(sub);
    ReopenSettings(sub / "settings.xml");
    SaveSettings();
    ReopenSettings(sub / "settings.xml");  // a second shut-down writes the same file
    SaveSettings();
    LoadSettings(sub / "settings.xml");
    EXPECT_EQ(MaxX, 640);
    EXPECT_EQ(KindOfPic, 4);
    EXPECT_EQ(JpegQuality, 70);
    std::string text = ReadFileText(sub / "settings.xml");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 13) << text;
}

TEST_F(SettingsTest, FailedSaveRaisesAndKeepsTheValues) {
    const auto sub = dir_ / "sub";
    std::filesystem::create_directory(sub);
    LoadSettings(sub / "settings.xml");
    MaxX = 777;
    std::filesystem::remove_all(sub);  // nowhere to write any more
    EXPECT_THROW(SaveSettings(), std::system_error);
    EXPECT_EQ(MaxX, 777);
    ASSERT_NE(SettingsIni, nullptr);  // a later save may still succeed
    std::filesystem::create_directory(sub);
    SaveSettings();
    LoadSettings(sub / "settings.xml");
    EXPECT_EQ(MaxX, 777);
}

// A settings file as TXMLIni writes it, with these values.
std::string SettingsFile(const std::string& MaxXValue, int MaxYValue, int Quality, int Kind, int Encoding) {
    auto key = [](const char* Name, const std::string& Value) {
        return std::string("    <") + Name + ">" + Value + "</" + Name + ">\r\n";
    };
    return "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n<!-- Generator: TXMLINI 1.x "
           "-->\r\n<xmlini>\r\n"
           "  <ImageSettings>\r\n" +
           key("JpegQuality", std::to_string(Quality)) + key("MaxY", std::to_string(MaxYValue)) +
           key("MaxX", MaxXValue) + "  </ImageSettings>\r\n  <Id3Settings>\r\n" +
           key("TextEncoding", std::to_string(Encoding)) + key("KindOfPic", std::to_string(Kind)) +
           "  </Id3Settings>\r\n</xmlini>\r\n";
}

TEST_F(SettingsTest, ReadOnceBringsValuesIntoTheWindowsRangesAndSaysWhatItCouldNotUse) {
    const std::string lineFormat =
        "the line format (one element on each line, sections indented by two blanks, keys by four)";
    std::string tabbed = SettingsFile("300", 200, 90, 2, 2);
    for (size_t pos; (pos = tabbed.find("  ")) != std::string::npos;) tabbed.replace(pos, 2, "\t");
    std::string oneLine = SettingsFile("300", 200, 90, 2, 2);
    std::erase(oneLine, '\r');
    std::erase(oneLine, '\n');
    std::string oneTabbedKey = SettingsFile("300", 200, 90, 2, 2);
    oneTabbedKey.replace(oneTabbedKey.find("    <MaxY>"), 4, "\t");
    struct Case {
        const char* Name;
        std::string Text;             // "" for no file
        std::vector<int32_t> Values;  // MaxX, MaxY, JpegQuality, KindOfPic, TextEncoding afterwards
        std::vector<std::string> Warnings;
    };
    const Case cases[] = {
        {"no file", "", {500, 500, 70, 1, 0}, {}},
        {"in range", SettingsFile("300", 200, 90, 2, 2), {300, 200, 90, 2, 2}, {}},
        {"the empty document",
         "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n<xmlini>\r\n</xmlini>\r\n",
         {500, 500, 70, 1, 0},
         {}},
        {"the lowest and highest", SettingsFile("20", 9999, 1, 18, 0), {20, 9999, 1, 18, 0}, {}},
        {"below and above the ranges",
         SettingsFile("19", 10000, 0, 1, 0),
         {20, 9999, 1, 1, 0},
         {"MaxX 19 is outside 20..9999; 20 is used, as in the window",
          "MaxY 10000 is outside 20..9999; 9999 is used, as in the window",
          "JpegQuality 0 is outside 1..100; 1 is used, as in the window"}},
        {"quality above 100, negative sizes",
         SettingsFile("-5", -1, 101, 1, 0),
         {20, 20, 100, 1, 0},
         {"MaxX -5 is outside 20..9999; 20 is used, as in the window",
          "MaxY -1 is outside 20..9999; 20 is used, as in the window",
          "JpegQuality 101 is outside 1..100; 100 is used, as in the window"}},
        // Kind and encoding keep their value; the run maps it as the window does.
        {"kind and encoding beyond their lists",
         SettingsFile("500", 500, 70, 19, 3),
         {500, 500, 70, 19, 3},
         {"KindOfPic 19 is outside 0..18; the kind Other is used, as in the window",
          "TextEncoding 3 is outside 0..2; ID3v2.3 ISO-8859-1 is used, as in the window"}},
        {"not a number",
         SettingsFile("wide", 500, 70, 1, 0),
         {500, 500, 70, 1, 0},
         {"MaxX \"wide\" is not a whole number; the default 500 is used"}},
        {"tab-indented",
         tabbed,
         {500, 500, 70, 1, 0},
         {"the file cannot be read: it is not in " + lineFormat + "; the defaults are used"}},
        {"all on one line",
         oneLine,
         {500, 500, 70, 1, 0},
         {"the file cannot be read: it is not in " + lineFormat + "; the defaults are used"}},
        {"one key tab-indented",
         oneTabbedKey,
         {300, 500, 90, 2, 2},
         {"the line of MaxY is not in " + lineFormat + "; its default is used"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto file = dir_ / (std::string(c.Name) + ".xml");
        if (!c.Text.empty()) WriteFileBytes(file, ToBytes(c.Text));
        EXPECT_EQ(ReadSettingsOnce(file), c.Warnings);
        EXPECT_EQ((std::vector<int32_t>{MaxX, MaxY, JpegQuality, KindOfPic, TextEncoding}), c.Values);
        EXPECT_EQ(SettingsIni, nullptr);
        if (!c.Text.empty()) {
            EXPECT_EQ(ReadFileText(file), c.Text) << "read once means never written";
        }
    }
}

}  // namespace
}  // namespace covrilo
