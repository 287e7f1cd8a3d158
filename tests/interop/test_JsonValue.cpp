// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "JsonValue.h"

namespace covrilo::test {
namespace {

TEST(JsonValue, ReadsADumpShapedDocument) {
    JsonValue v = JsonValue::Parse(R"( {"id3v2": {"version": "2.3.0", "size": 4096,
        "frames": [{"id": "TIT2", "text": ["a", "b"]}, {"id": "APIC", "size": 12}]},
        "id3v1": null, "valid": true, "ratio": -1.5e2} )");
    EXPECT_EQ(v["id3v2"]["version"].Str(), "2.3.0");
    EXPECT_EQ(v["id3v2"]["size"].Int(), 4096);
    EXPECT_EQ(v["id3v2"]["frames"].Size(), 2u);
    EXPECT_EQ(v["id3v2"]["frames"][0]["text"].Strings(), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(v["id3v1"].IsNull());
    EXPECT_TRUE(v["absent"].IsNull());
    EXPECT_FALSE(v.Has("absent"));
    EXPECT_TRUE(v["valid"].Bool());
    EXPECT_DOUBLE_EQ(v["ratio"].Number(), -150.0);
}

TEST(JsonValue, DecodesEscapesToUtf8) {
    struct Case {
        const char* Json;
        std::string Expected;
    };
    const Case cases[] = {
        {R"("a\"b\\c\/d")", "a\"b\\c/d"},
        {R"("\n\t\r\b\f")", "\n\t\r\b\f"},
        {R"("\u00e9")", "\xC3\xA9"},                // é, two bytes
        {R"("\u20ac")", "\xE2\x82\xAC"},            // €, three bytes
        {R"("\ud83c\udfb5")", "\xF0\x9F\x8E\xB5"},  // a surrogate pair, four bytes
        {"\"\xC3\xA9 raw\"", "\xC3\xA9 raw"},       // UTF-8 passes through
        {R"("\u0000x")", std::string("\0x", 2)},
        {R"("\ud800x")", "\xEF\xBF\xBDx"},  // lone surrogates become U+FFFD
        {R"("\udc00\ud800\u0041")",
         "\xEF\xBF\xBD\xEF\xBF\xBD"
         "A"},
    };
    for (const auto& c : cases) EXPECT_EQ(JsonValue::Parse(c.Json).Str(), c.Expected) << c.Json;
}

TEST(JsonValue, RejectsMalformedInput) {
    const std::string bad[] = {
        "",
        "{",
        "[1,",
        R"({"a" 1})",
        R"({"a":1,})",
        "[1 2]",
        R"("unterminated)",
        R"("\x")",
        R"("\u12")",
        R"("\ud800\u12")",
        "tru",
        "1 2",
        "-",
        "1e999",
        "\"a\nb\"",
        std::string(100, '['),
    };
    for (const std::string& text : bad) EXPECT_THROW(JsonValue::Parse(text), JsonError) << text;
}

TEST(JsonValue, WrongTypeOrIndexThrows) {
    JsonValue v = JsonValue::Parse(R"({"n": 1.5, "s": "x", "a": [1]})");
    EXPECT_THROW(v["s"].Number(), JsonError);
    EXPECT_THROW(v["n"].Int(), JsonError);  // not integral
    EXPECT_THROW(v["n"].Str(), JsonError);
    EXPECT_THROW(v["a"][1], JsonError);
    EXPECT_THROW(v["s"]["key"], JsonError);
    EXPECT_THROW(v["a"].Strings(), JsonError);
}

TEST(JsonValue, DumpReadsBackToTheSameValue) {
    const char* text = R"({"a":[1,2.5,"x\"\u0001"],"b":{"c":null,"d":false}})";
    JsonValue v = JsonValue::Parse(text);
    EXPECT_EQ(JsonValue::Parse(v.Dump()).Dump(), v.Dump());
    EXPECT_EQ(JsonValue::Parse(v.Dump())["a"][2].Str(), "x\"\x01");
}

}  // namespace
}  // namespace covrilo::test
