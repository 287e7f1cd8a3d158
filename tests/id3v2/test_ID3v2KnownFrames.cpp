// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "id3v2/ID3v2KnownFrames.h"
#include "id3v2/ID3v2Types.h"

namespace covrilo {
namespace {

TEST(ID3v2KnownFrames, TableShape) {
    const auto rows = KnownFrames();
    ASSERT_EQ(rows.size(), 92u);
    EXPECT_STREQ(rows.front().ID, "AENC");
    EXPECT_STREQ(rows.back().ID, "TSST");
    std::set<std::string> ids, ids22;
    for (const TKnownFrame& row : rows) {
        SCOPED_TRACE(row.ID);
        EXPECT_EQ(std::strlen(row.ID), 4u);
        const size_t len22 = std::strlen(row.ID22);
        EXPECT_TRUE(len22 == 0 || len22 == 3);
        // A row marked as 2.2 must carry a 2.2 identifier and vice versa.
        EXPECT_EQ(len22 == 3, (row.Versions & svID3v22) != 0);
        EXPECT_NE(row.Versions & (svID3v23 | svID3v24), 0);
        EXPECT_TRUE(ids.insert(row.ID).second) << "duplicate identifier";
        if (len22 == 3) {
            EXPECT_TRUE(ids22.insert(row.ID22).second) << "duplicate 2.2 identifier";
        }
    }
}

TEST(ID3v2KnownFrames, ExactTexts) {
    struct Case {
        const char* Id;
        const char* Name;
        const char* Description;
        uint8_t Versions;
    };
    const Case cases[] = {
        {"TRDA", "Recorded in ", "Recording dates", svID3v22 | svID3v23},
        {"TDOR", "Orignal release time", "Original release time", svID3v24},
        {"USLT", "Unsync Lyrics", "Unsychronized lyric/text transcription", svID3v22 | svID3v23 | svID3v24},
        {"TXXX", "Custom text", "User defined text information frame", svID3v22 | svID3v23 | svID3v24},
        {"RVA2", "Volume Adjust", "Relative volume adjustment", svID3v24},
        {"TIPL", "Members", "Involved people list", svID3v24},
        {"TOWN", "Owner", "File owner/licensee", svID3v23 | svID3v24},
        {"TSST", "Subtitle", "Set subtitle", svID3v24},
        {"EQUA", "Equalization", "Equalization", svID3v22 | svID3v23},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id);
        const TKnownFrame* row = FindKnownFrame(c.Id);
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(row->Name, c.Name);
        EXPECT_STREQ(row->Description, c.Description);
        EXPECT_EQ(row->Versions, c.Versions);
    }
}

TEST(ID3v2KnownFrames, FindByEitherIdentifier) {
    EXPECT_STREQ(FindKnownFrame("PIC")->ID, "APIC");
    EXPECT_STREQ(FindKnownFrame("APIC")->ID22, "PIC");
    EXPECT_STREQ(FindKnownFrame("TT2")->Name, "Title");
    // Lookups are case-sensitive and never match the empty 2.2 slot of rows without one.
    for (const char* id : {"", "apic", "ZZZZ", "TIT", "API", "APICX", "\0\0\0"}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(FindKnownFrame(id), nullptr);
    }
    EXPECT_EQ(FindKnownFrame(std::string_view("\0\0\0", 3)), nullptr);
}

TEST(ID3v2KnownFrames, Convert22To23) {
    struct Case {
        const char* Id22;
        bool Ok;
        const char* Id;
    };
    const Case cases[] = {
        {"PIC", true, "APIC"},
        {"TT2", true, "TIT2"},
        {"CRM", true, "ENCR"},
        {"TCM", true, "TCOM"},
        {"TXX", true, "TXXX"},
        {"CRA", true, "AENC"},
        // Experimental identifiers keep their three characters behind a doubled first letter.
        {"XAB", true, "XXAB"},
        {"YQQ", true, "YYQQ"},
        {"Z12", true, "ZZ12"},
        {"ABC", false, ""},
        {"pic", false, ""},
        {"xab", false, ""},
        {"", false, ""},
        {"PI", false, ""},
        {"PICX", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id22);
        std::string id = "unchanged";
        EXPECT_EQ(ConvertID22To23(c.Id22, id), c.Ok);
        if (c.Ok) {
            EXPECT_EQ(id, c.Id);
        }
    }
    std::string id;
    EXPECT_FALSE(ConvertID22To23(std::string_view("\0\0\0", 3), id));
}

TEST(ID3v2KnownFrames, Convert23To22) {
    struct Case {
        const char* Id;
        bool Ok;
        const char* Id22;
    };
    const Case cases[] = {
        {"APIC", true, "PIC"},
        {"TIT2", true, "TT2"},
        {"ENCR", true, "CRM"},
        {"TCOM", true, "TCM"},
        {"XXAB", true, "XAB"},
        {"YYQQ", true, "YQQ"},
        {"ZZ12", true, "Z12"},
        // Rows without a 2.2 identifier cannot be written to a 2.2 tag.
        {"PRIV", false, ""},
        {"TDRC", false, ""},
        {"COMR", false, ""},
        {"TSST", false, ""},
        // Only a doubled experimental letter is dropped.
        {"XYAB", false, ""},
        {"AABC", false, ""},
        {"xxab", false, ""},
        {"XAB", false, ""},
        {"", false, ""},
        {"apic", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id);
        std::string id22 = "unchanged";
        EXPECT_EQ(ConvertID23To22(c.Id, id22), c.Ok);
        if (c.Ok) {
            EXPECT_EQ(id22, c.Id22);
        }
    }
}

TEST(ID3v2KnownFrames, EveryRowWithA22IdentifierRoundTrips) {
    int convertible = 0;
    for (const TKnownFrame& row : KnownFrames()) {
        SCOPED_TRACE(row.ID);
        std::string id22, id;
        const bool has22 = row.ID22[0] != '\0';
        // The sort-order frames have the non-standard 2.2 identifiers iTunes writes.
        if (std::string_view(row.ID).starts_with("TSO")) continue;
        ASSERT_EQ(ConvertID23To22(row.ID, id22), has22);
        if (!has22) continue;
        ++convertible;
        EXPECT_EQ(id22, row.ID22);
        ASSERT_TRUE(ConvertID22To23(id22, id));
        EXPECT_EQ(id, row.ID);
    }
    EXPECT_EQ(convertible, 63);
}

// iTunes and other taggers write 2.2 identifiers the 2.2 standard lacks; the peers read
// them as these 2.3 frames, and so do we (they used to end the frame walk).
TEST(ID3v2KnownFrames, NonStandardTwoTwoIdentifiers) {
    const std::pair<const char*, const char*> pairs[] = {
        {"TCP", "TCMP"}, {"TST", "TSOT"}, {"TSA", "TSOA"}, {"TSP", "TSOP"}, {"TS2", "TSO2"},
        {"TSC", "TSOC"}, {"GP1", "GRP1"}, {"MVN", "MVNM"}, {"MVI", "MVIN"}, {"PCS", "PCST"},
        {"TDS", "TDES"}, {"TID", "TGID"}, {"WFD", "WFED"}, {"TKW", "TKWD"}, {"TCT", "TCAT"},
    };
    for (const auto& [id22, id23] : pairs) {
        std::string to23, back;
        ASSERT_TRUE(ConvertID22To23(id22, to23)) << id22;
        EXPECT_EQ(to23, id23);
        ASSERT_TRUE(ConvertID23To22(id23, back)) << id23;
        EXPECT_EQ(back, id22);
    }
    std::string none;
    EXPECT_FALSE(ConvertID22To23("ABC", none));
}

}  // namespace
}  // namespace covrilo
