// SPDX-License-Identifier: MIT
#include "app/XMLINI.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace covrilo {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::ToBytes;
using test::WriteFileBytes;

const std::string kEmptyDoc =
    "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n"
    "<!-- Generator: TXMLINI 1.x -->\r\n"
    "<xmlini>\r\n"
    "</xmlini>\r\n";

TEST(TXMLIni, MissingFileIsCreatedAsEmptyDocument) {
    TempDir Dir;
    const auto File = Dir / "settings.xml";
    {
        TXMLIni Ini(File, false);
        EXPECT_EQ(ReadFileText(File), kEmptyDoc);  // written at once, not only at destruction
        EXPECT_EQ(Ini.Lines().size(), 4u);
    }
    EXPECT_EQ(ReadFileText(File), kEmptyDoc);
}

TEST(TXMLIni, MissingFileWithRaiseErrorsCreatesAndRaises) {
    TempDir Dir;
    const auto File = Dir / "settings.xml";
    try {
        TXMLIni Ini(File, true);
        FAIL() << "expected EXMLIniException";
    } catch (const EXMLIniException& E) {
        EXPECT_STREQ(E.what(), "File not exist. TXMLINI has created a new one.");
    }
    EXPECT_EQ(ReadFileText(File), kEmptyDoc);
}

TEST(TXMLIni, UnwritableFolderRaisesOnCreate) {
    TempDir Dir;
    EXPECT_THROW(TXMLIni(Dir / "no" / "such" / "settings.xml", false), std::system_error);
}

TEST(TXMLIni, RefusesWhatIsNoSettingsFile) {
    TempDir Dir;
    std::filesystem::create_directory(Dir / "folder.xml");
    EXPECT_THROW(TXMLIni(Dir / "folder.xml", false), EXMLIniException);
    const auto Big = Dir / "big.xml";
    test::WriteFileBytes(Big, test::Bytes(17 * 1024 * 1024, 'x'));
    EXPECT_THROW(TXMLIni(Big, false), EXMLIniException);
    EXPECT_EQ(std::filesystem::file_size(Big), 17u * 1024 * 1024);  // left alone
}

TEST(TXMLIni, WriteInsertsBelowSectionLineAndNewSectionBeforeLastLine) {
    TempDir Dir;
    const auto File = Dir / "a.xml";
    {
        TXMLIni Ini(File, false);
        Ini.WriteString("S", "A", "1");
        Ini.WriteString("S", "B", "2");
        Ini.WriteString("T", "C", "3");
        Ini.WriteString("S", "A", "4");  // rewritten: deleted and put on top again
    }
    EXPECT_EQ(ReadFileText(File),
              "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n"
              "<!-- Generator: TXMLINI 1.x -->\r\n"
              "<xmlini>\r\n"
              "  <S>\r\n"
              "    <A>4</A>\r\n"
              "    <B>2</B>\r\n"
              "  </S>\r\n"
              "  <T>\r\n"
              "    <C>3</C>\r\n"
              "  </T>\r\n"
              "</xmlini>\r\n");
}

TEST(TXMLIni, ReadsKeysOnlyAtTheirIndentation) {
    TempDir Dir;
    const auto File = Dir / "a.xml";
    WriteFileBytes(File, ToBytes("<?xml?>\r\n<xmlini>\r\n"
                                 "  <S>\r\n"
                                 "    <Good>1</Good>\r\n"
                                 "   <ThreeBlanks>2</ThreeBlanks>\r\n"
                                 "     <FiveBlanks>3</FiveBlanks>\r\n"
                                 "    <Attr x=\"y\">4</Attr>\r\n"
                                 "    <GoodLonger>5</GoodLonger>\r\n"
                                 "  </S>\r\n"
                                 "   <Odd>\r\n"
                                 "    <K>6</K>\r\n"
                                 "   </Odd>\r\n"
                                 "</xmlini>\r\n"));
    TXMLIni Ini(File, false);
    struct Case { const char* Section; const char* Key; const char* Expected; };
    const Case Cases[] = {
        {"S", "Good", "1"},       {"S", "ThreeBlanks", "d"}, {"S", "FiveBlanks", "d"},
        {"S", "Attr", "4"},       {"S", "GoodLonger", "5"},  {"S", "Goo", "d"},
        {"S", "good", "d"},       {"Odd", "K", "d"},         {"Missing", "Good", "d"},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(Ini.ReadString(C.Section, C.Key, "d"), C.Expected) << C.Section << "/" << C.Key;
    }
    EXPECT_TRUE(Ini.SectionExists("S"));
    EXPECT_FALSE(Ini.SectionExists("Odd"));
    EXPECT_FALSE(Ini.SectionExists("s"));

    std::vector<std::string> Names;
    Ini.ReadSection("S", Names);
    EXPECT_EQ(Names, (std::vector<std::string>{"GoodLonger", "Attr", "Good"}));  // bottom-up
    // Keys come out bottom-up; a '>' before the name gives an empty name, not the rest.
    TXMLIni Odd(Dir / "odd.xml", false);
    Odd.WriteString("S", "K", "1");
    Odd.WriteString("S", "L", "2");
    std::vector<std::string> OddNames;
    Odd.ReadSection("S", OddNames);
    EXPECT_EQ(OddNames, (std::vector<std::string>{"K", "L"}));
    std::vector<std::string> GtNames;
    test::WriteFileBytes(Dir / "gt2.xml", ToBytes("  <S>\r\n  > <x>1</x>\r\n  </S>\r\n"));
    TXMLIni Gt2(Dir / "gt2.xml", false);
    Gt2.ReadSection("S", GtNames);
    EXPECT_EQ(GtNames, (std::vector<std::string>{""}));
    std::vector<std::string> Sections;
    Ini.ReadSections(Sections);
    EXPECT_EQ(Sections, (std::vector<std::string>{"S"}));  // "   <Odd>" is not at two blanks
    std::vector<std::string> Values;
    Ini.ReadSectionValues("S", Values);
    EXPECT_EQ(Values, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

TEST(TXMLIni, LaterKeyLineWinsAndWriteReplacesEveryReadableForm) {
    TempDir Dir;
    const auto File = Dir / "a.xml";
    WriteFileBytes(File, ToBytes("<xmlini>\r\n  <S>\r\n    <K>1</K>\r\n    <K a=\"b\">2</K>\r\n  </S>\r\n</xmlini>\r\n"));
    TXMLIni Ini(File, false);
    EXPECT_EQ(Ini.ReadString("S", "K", ""), "2");
    Ini.WriteString("S", "K", "3");
    EXPECT_EQ(Ini.ReadString("S", "K", ""), "3");
    EXPECT_EQ(Ini.Lines(), (std::vector<std::string>{"<xmlini>", "  <S>", "    <K>3</K>", "  </S>", "</xmlini>"}));

    // A line that the readers take for the key although no key name is listed for it.
    WriteFileBytes(File, ToBytes("<xmlini>\r\n  <S>\r\n <xy<K>1</K>\r\n  </S>\r\n</xmlini>\r\n"));
    TXMLIni Odd(File, false);
    EXPECT_EQ(Odd.ReadString("S", "K", ""), "1");
    EXPECT_FALSE(Odd.ValueExists("S", "K"));
    Odd.WriteString("S", "K", "3");
    EXPECT_EQ(Odd.ReadString("S", "K", ""), "3");
}

TEST(TXMLIni, ValueEncodingRoundTrips) {
    TempDir Dir;
    const auto File = Dir / "a.xml";
    const std::string Values[] = {"a&b", "\"q\"", "<tag>", "line1\nline2\r", "&lt;", "&amp;amp;", "&#10;", ""};
    {
        TXMLIni Ini(File, false);
        for (size_t I = 0; I < std::size(Values); ++I) Ini.WriteString("V", "K" + std::to_string(I), Values[I]);
    }
    TXMLIni Ini(File, false);
    for (size_t I = 0; I < std::size(Values); ++I) {
        EXPECT_EQ(Ini.ReadString("V", "K" + std::to_string(I), "x"), Values[I]) << I;
    }
    EXPECT_EQ(TXMLIni::EncodeValue("<&\"\n\r>"), "&lt;&amp;&quot;&#10;&#13;&gt;");
    // The file stays one line per key.
    EXPECT_EQ(Ini.Lines().size(), 4u + 2u + std::size(Values));
}

TEST(TXMLIni, ReadInteger) {
    TempDir Dir;
    const auto File = Dir / "a.xml";
    WriteFileBytes(File, ToBytes("<xmlini>\r\n  <S>\r\n"
                                 "    <Neg>-42</Neg>\r\n    <Plus>+7</Plus>\r\n    <Letters>abc</Letters>\r\n"
                                 "    <Trail>12x</Trail>\r\n    <Empty></Empty>\r\n    <Big>2147483648</Big>\r\n"
                                 "    <Max>2147483647</Max>\r\n"
                                 "  </S>\r\n</xmlini>\r\n"));
    TXMLIni Ini(File, false);
    struct Case { const char* Key; int32_t Expected; };
    const Case Cases[] = {{"Neg", -42}, {"Plus", 7},   {"Letters", 99}, {"Trail", 99},
                          {"Empty", 99}, {"Big", 99}, {"Max", 2147483647}, {"Missing", 99}};
    for (const auto& C : Cases) EXPECT_EQ(Ini.ReadInteger("S", C.Key, 99), C.Expected) << C.Key;
    Ini.SetRaiseErrors(true);
    try {
        Ini.ReadInteger("S", "Letters", 99);
        FAIL() << "expected EXMLIniException";
    } catch (const EXMLIniException& E) {
        EXPECT_STREQ(E.what(), "Error when reading value. Default set as Result");
    }
}

TEST(TXMLIni, BlanksInNamesAreStrippedOnWrite) {
    TempDir Dir;
    TXMLIni Ini(Dir / "a.xml", false);
    Ini.WriteString("My Section", "My Key", "v");
    EXPECT_EQ(Ini.Lines(), (std::vector<std::string>{
                               R"(<?xml version="1.0" encoding="windows-1250" ?>)", "<!-- Generator: TXMLINI 1.x -->",
                               "<xmlini>", "  <MySection>", "    <MyKey>v</MyKey>", "  </MySection>", "</xmlini>"}));
    EXPECT_EQ(Ini.ReadString("MySection", "MyKey", ""), "v");
}

TEST(TXMLIni, DeleteKeyNeedsBothSectionLinesInOrder) {
    TempDir Dir;
    const auto File = Dir / "a.xml";
    WriteFileBytes(File, ToBytes("<xmlini>\n  </S>\n    <K>1</K>\n  <S>\n    <K>2</K>\n</xmlini>\n"));
    TXMLIni Ini(File, false);
    const auto Before = Ini.Lines();
    Ini.DeleteKey("S", "K");
    EXPECT_EQ(Ini.Lines(), Before);
    Ini.DeleteKey("Missing", "K");
    EXPECT_EQ(Ini.Lines(), Before);
}

// Hostile files: odd line endings, binary junk, lines too short for any of the scans.
TEST(TXMLIni, HostileContentNeverBreaksTheScans) {
    TempDir Dir;
    struct Case { std::string Content; int32_t ReadBack; };
    const Case Cases[] = {
        {"", 8},
        {"\r\r\n\n", 8},
        {"<", 8},
        {"  <", 8},
        {"    <", 8},
        {"  <>\n  </>\n    <>\n", 8},
        {"  <S\n    <K\n  </S\n", 8},
        {"  <S>\n    <K></\n    <K>>\n  </S>", 8},
        {"  <S>\n  > <K>1</K>\n  </S>\n", 8},
        {"  <S>\n <xy<K>1\n  </S>\n", 8},  // read as key K though its first '<' is elsewhere
        {std::string("  <S>\0\xff\n    <K>\0</K>\n  </S>\n", 28), 8},
        // An opening line without its closing line: the section exists but holds nothing
        // readable, so the written key stays invisible and the default comes back.
        {"  <S>\n    <K>1</K>", 5},
    };
    for (const auto& [Content, ReadBack] : Cases) {
        const auto File = Dir / "h.xml";
        WriteFileBytes(File, ToBytes(Content));
        TXMLIni Ini(File, false);
        std::vector<std::string> Out;
        Ini.ReadSections(Out);
        Ini.ReadSection("S", Out);
        Ini.ReadSectionValues("S", Out);
        Ini.ReadSection("", Out);
        (void)Ini.ReadString("S", "K", "d");
        (void)Ini.ReadString("", "", "d");
        (void)Ini.ReadInteger("S", "K", 5);
        Ini.DeleteKey("S", "K");
        Ini.WriteInteger("S", "K", 8);
        EXPECT_EQ(Ini.ReadInteger("S", "K", 5), ReadBack) << testing::PrintToString(Content);
    }
}

}  // namespace
}  // namespace covrilo
