// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/XMLINI.h"
#include "support/TestSupport.h"

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
    TempDir dir;
    const auto file = dir / "settings.xml";
    {
        TXMLIni ini(file, false);
        EXPECT_EQ(ReadFileText(file), kEmptyDoc);  // written at once, not only at destruction
        EXPECT_EQ(ini.Lines().size(), 4u);
    }
    EXPECT_EQ(ReadFileText(file), kEmptyDoc);
}

TEST(TXMLIni, MissingFileWithRaiseErrorsCreatesAndRaises) {
    TempDir dir;
    const auto file = dir / "settings.xml";
    try {
        TXMLIni ini(file, true);
        FAIL() << "expected EXMLIniException";
    } catch (const EXMLIniException& e) {
        EXPECT_STREQ(e.what(), "File not exist. TXMLINI has created a new one.");
    }
    EXPECT_EQ(ReadFileText(file), kEmptyDoc);
}

TEST(TXMLIni, UnwritableFolderRaisesOnCreate) {
    TempDir dir;
    EXPECT_THROW(TXMLIni(dir / "no" / "such" / "settings.xml", false), std::system_error);
}

TEST(TXMLIni, RefusesWhatIsNoSettingsFile) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.xml");
    EXPECT_THROW(TXMLIni(dir / "folder.xml", false), EXMLIniException);
    const auto big = dir / "big.xml";
    test::WriteFileBytes(big, test::Bytes(17 * 1024 * 1024, 'x'));
    EXPECT_THROW(TXMLIni(big, false), EXMLIniException);
    EXPECT_EQ(std::filesystem::file_size(big), 17u * 1024 * 1024);  // left alone
}

TEST(TXMLIni, WriteInsertsBelowSectionLineAndNewSectionBeforeLastLine) {
    TempDir dir;
    const auto file = dir / "a.xml";
    {
        TXMLIni ini(file, false);
        ini.WriteString("S", "A", "1");
        ini.WriteString("S", "B", "2");
        ini.WriteString("T", "C", "3");
        ini.WriteString("S", "A", "4");  // rewritten: deleted and put on top again
    }
    EXPECT_EQ(ReadFileText(file),
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
    TempDir dir;
    const auto file = dir / "a.xml";
    WriteFileBytes(file, ToBytes("<?xml?>\r\n<xmlini>\r\n"
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
    TXMLIni ini(file, false);
    struct Case {
        const char* Section;
        const char* Key;
        const char* Expected;
    };
    const Case cases[] = {
        {"S", "Good", "1"}, {"S", "ThreeBlanks", "d"}, {"S", "FiveBlanks", "d"},
        {"S", "Attr", "4"}, {"S", "GoodLonger", "5"},  {"S", "Goo", "d"},
        {"S", "good", "d"}, {"Odd", "K", "d"},         {"Missing", "Good", "d"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ini.ReadString(c.Section, c.Key, "d"), c.Expected) << c.Section << "/" << c.Key;
    }
    EXPECT_TRUE(ini.SectionExists("S"));
    EXPECT_FALSE(ini.SectionExists("Odd"));
    EXPECT_FALSE(ini.SectionExists("s"));

    std::vector<std::string> names;
    ini.ReadSection("S", names);
    EXPECT_EQ(names, (std::vector<std::string>{"GoodLonger", "Attr", "Good"}));  // bottom-up
    // Keys come out bottom-up; a '>' before the name gives an empty name, not the rest.
    TXMLIni odd(dir / "odd.xml", false);
    odd.WriteString("S", "K", "1");
    odd.WriteString("S", "L", "2");
    std::vector<std::string> oddNames;
    odd.ReadSection("S", oddNames);
    EXPECT_EQ(oddNames, (std::vector<std::string>{"K", "L"}));
    std::vector<std::string> gtNames;
    test::WriteFileBytes(dir / "gt2.xml", ToBytes("  <S>\r\n  > <x>1</x>\r\n  </S>\r\n"));
    TXMLIni gt2(dir / "gt2.xml", false);
    gt2.ReadSection("S", gtNames);
    EXPECT_EQ(gtNames, (std::vector<std::string>{""}));
    std::vector<std::string> sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections, (std::vector<std::string>{"S"}));  // "   <Odd>" is not at two blanks
    std::vector<std::string> values;
    ini.ReadSectionValues("S", values);
    EXPECT_EQ(values, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

TEST(TXMLIni, LaterKeyLineWinsAndWriteReplacesEveryReadableForm) {
    TempDir dir;
    const auto file = dir / "a.xml";
    WriteFileBytes(
        file,
        ToBytes("<xmlini>\r\n  <S>\r\n    <K>1</K>\r\n    <K a=\"b\">2</K>\r\n  </S>\r\n</xmlini>\r\n"));
    TXMLIni ini(file, false);
    EXPECT_EQ(ini.ReadString("S", "K", ""), "2");
    ini.WriteString("S", "K", "3");
    EXPECT_EQ(ini.ReadString("S", "K", ""), "3");
    EXPECT_EQ(ini.Lines(),
              (std::vector<std::string>{"<xmlini>", "  <S>", "    <K>3</K>", "  </S>", "</xmlini>"}));

    // A line that the readers take for the key although no key name is listed for it.
    WriteFileBytes(file, ToBytes("<xmlini>\r\n  <S>\r\n <xy<K>1</K>\r\n  </S>\r\n</xmlini>\r\n"));
    TXMLIni odd(file, false);
    EXPECT_EQ(odd.ReadString("S", "K", ""), "1");
    EXPECT_FALSE(odd.ValueExists("S", "K"));
    odd.WriteString("S", "K", "3");
    EXPECT_EQ(odd.ReadString("S", "K", ""), "3");
}

TEST(TXMLIni, ValueEncodingRoundTrips) {
    TempDir dir;
    const auto file = dir / "a.xml";
    const std::string values[] = {"a&b",  "\"q\"",     "<tag>", "line1\nline2\r",
                                  "&lt;", "&amp;amp;", "&#10;", ""};
    {
        TXMLIni ini(file, false);
        for (size_t i = 0; i < std::size(values); ++i)
            ini.WriteString("V", "K" + std::to_string(i), values[i]);
    }
    TXMLIni ini(file, false);
    for (size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(ini.ReadString("V", "K" + std::to_string(i), "x"), values[i]) << i;
    }
    EXPECT_EQ(TXMLIni::EncodeValue("<&\"\n\r>"), "&lt;&amp;&quot;&#10;&#13;&gt;");
    // The file stays one line per key.
    EXPECT_EQ(ini.Lines().size(), 4u + 2u + std::size(values));
}

TEST(TXMLIni, ReadInteger) {
    TempDir dir;
    const auto file = dir / "a.xml";
    WriteFileBytes(file,
                   ToBytes("<xmlini>\r\n  <S>\r\n"
                           "    <Neg>-42</Neg>\r\n    <Plus>+7</Plus>\r\n    <Letters>abc</Letters>\r\n"
                           "    <Trail>12x</Trail>\r\n    <Empty></Empty>\r\n    <Big>2147483648</Big>\r\n"
                           "    <Max>2147483647</Max>\r\n"
                           "  </S>\r\n</xmlini>\r\n"));
    TXMLIni ini(file, false);
    struct Case {
        const char* Key;
        int32_t Expected;
    };
    const Case cases[] = {{"Neg", -42},  {"Plus", 7}, {"Letters", 99},     {"Trail", 99},
                          {"Empty", 99}, {"Big", 99}, {"Max", 2147483647}, {"Missing", 99}};
    for (const auto& c : cases) EXPECT_EQ(ini.ReadInteger("S", c.Key, 99), c.Expected) << c.Key;
    ini.SetRaiseErrors(true);
    try {
        ini.ReadInteger("S", "Letters", 99);
        FAIL() << "expected EXMLIniException";
    } catch (const EXMLIniException& e) {
        EXPECT_STREQ(e.what(), "Error when reading value. Default set as Result");
    }
}

TEST(TXMLIni, BlanksInNamesAreStrippedOnWrite) {
    TempDir dir;
    TXMLIni ini(dir / "a.xml", false);
    ini.WriteString("My Section", "My Key", "v");
    EXPECT_EQ(ini.Lines(),
              (std::vector<std::string>{R"(<?xml version="1.0" encoding="windows-1250" ?>)",
                                        "<!-- Generator: TXMLINI 1.x -->", "<xmlini>", "  <MySection>",
                                        "    <MyKey>v</MyKey>", "  </MySection>", "</xmlini>"}));
    EXPECT_EQ(ini.ReadString("MySection", "MyKey", ""), "v");
}

TEST(TXMLIni, DeleteKeyNeedsBothSectionLinesInOrder) {
    TempDir dir;
    const auto file = dir / "a.xml";
    WriteFileBytes(file, ToBytes("<xmlini>\n  </S>\n    <K>1</K>\n  <S>\n    <K>2</K>\n</xmlini>\n"));
    TXMLIni ini(file, false);
    const auto before = ini.Lines();
    ini.DeleteKey("S", "K");
    EXPECT_EQ(ini.Lines(), before);
    ini.DeleteKey("Missing", "K");
    EXPECT_EQ(ini.Lines(), before);
}

// Hostile files: odd line endings, binary junk, lines too short for any of the scans.
TEST(TXMLIni, HostileContentNeverBreaksTheScans) {
    TempDir dir;
    struct Case {
        std::string Content;
        int32_t ReadBack;
    };
    const Case cases[] = {
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
    for (const auto& [Content, ReadBack] : cases) {
        const auto file = dir / "h.xml";
        WriteFileBytes(file, ToBytes(Content));
        TXMLIni ini(file, false);
        std::vector<std::string> out;
        ini.ReadSections(out);
        ini.ReadSection("S", out);
        ini.ReadSectionValues("S", out);
        ini.ReadSection("", out);
        (void)ini.ReadString("S", "K", "d");
        (void)ini.ReadString("", "", "d");
        (void)ini.ReadInteger("S", "K", 5);
        ini.DeleteKey("S", "K");
        ini.WriteInteger("S", "K", 8);
        EXPECT_EQ(ini.ReadInteger("S", "K", 5), ReadBack) << testing::PrintToString(Content);
    }
}

}  // namespace
}  // namespace covrilo
