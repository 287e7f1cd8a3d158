// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <fstream>

#include "FrameTestUtil.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using test::Fixture;
using test::FrameBytes;
using test::Header;
using test::operator+;

const FrameBytes kJfifHead = Fixture({{0xFF, 0xD8, 0xFF, 0xE0},  // SOI, APP0
                                      {0x00, 0x10},              // segment length
                                      "JFIF",
                                      {0x00},  // identifier
                                      {0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00}});

TEST(TAPICFrame, ReadsAndWritesPicturesInEachVersion) {
    const FrameBytes image = kJfifHead + FrameBytes{0xFF, 0xD9};
    struct Case {
        const char* Name;
        uint16_t Version;
        FrameBytes Content;
        TTextEncoding Encoding;
        std::string Mime;
        uint8_t Type;
        std::u16string Description;
    };
    const Case cases[] = {
        {"2.2 JPG", ID3V2_VERSION_2_2, Fixture({{0x00}, "JPG", {0x03}, "front", {0}}) + image, teISO8859_1,
         "image/jpeg", 3, u"front"},
        {"2.2 png in lower case", ID3V2_VERSION_2_2, Fixture({{0x00}, "png", {0x04}, {0}}) + image,
         teISO8859_1, "image/png", 4, u""},
        {"2.3 utf-16", ID3V2_VERSION_2_3,
         Fixture({{0x01}, "image/jpeg", {0}, {0x03}, {0xFF, 0xFE, 'c', 0, 0, 0}}) + image, teUTF16,
         "image/jpeg", 3, u"c"},
        // Types beyond the table are other programs' data: kept as stored, never made 0.
        {"2.3 type 21 is kept", ID3V2_VERSION_2_3, Fixture({{0x00}, "image/png", {0}, {21}, {0}}) + image,
         teISO8859_1, "image/png", 21, u""},
        {"2.4 type 255 is kept", ID3V2_VERSION_2_4, Fixture({{0x03}, "image/PNG", {0}, {255}, {0}}) + image,
         teUTF8, "image/PNG", 255, u""},
        {"2.4 utf-16be, no image bytes", ID3V2_VERSION_2_4,
         Fixture({{0x02}, "image/gif", {0}, {0x14}, {0, 'x', 0, 0}}), teUTF16BE, "image/gif", 20, u"x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string id = c.Version == ID3V2_VERSION_2_2 ? "PIC" : "APIC";
        const FrameBytes in = Header(c.Version, id, uint32_t(c.Content.size())) + c.Content;
        TAPICFrame frame;
        int64_t end = 0;
        ASSERT_TRUE(test::LoadFrame(frame, in + Fixture({"TIT2"}), c.Version, &end));
        EXPECT_EQ(end, int64_t(in.size()));
        EXPECT_EQ(frame.FrameID(), "APIC");
        EXPECT_EQ(frame.Encoding, c.Encoding);
        EXPECT_EQ(frame.MIMEType, c.Mime);
        EXPECT_EQ(frame.PictureType, c.Type);
        EXPECT_EQ(frame.Description, c.Description);
        EXPECT_FALSE(frame.Linked);
        const bool hasImage = c.Content.size() > image.size();
        EXPECT_EQ(frame.PictureData.Data(), hasImage ? image : FrameBytes{});

        const FrameBytes out = test::SaveFrame(frame, c.Version);
        TAPICFrame back;
        ASSERT_TRUE(test::LoadFrame(back, out, c.Version));
        EXPECT_EQ(back.MIMEType, c.Version == ID3V2_VERSION_2_2 ? c.Mime : frame.MIMEType);
        EXPECT_EQ(back.PictureType, c.Type);
        EXPECT_EQ(back.Description, c.Description);
        EXPECT_EQ(back.PictureData.Data(), frame.PictureData.Data());
    }
}

TEST(TAPICFrame, WritesTheTwoTwoImageFormat) {
    const FrameBytes jpeg = kJfifHead + FrameBytes{0xFF, 0xD9};
    struct Case {
        std::string Mime;
        FrameBytes Image;
        const char* Format;
    };
    const Case cases[] = {
        {"image/png", {1}, "PNG"},
        {"PING", {1}, "PNG"},
        {"image/jpeg", {1}, "JPG"},
        {"jpeg", {1}, "JPG"},
        {"image/gif", {1}, "GIF"},
        {"image/ms-bmp", {1}, "BMP"},
        {"bitmap", {1}, "BMP"},
        {"image/tiff", {1}, "TIF"},
        {"tiff", {1}, "TIF"},
        {"image/x-bmp", {1}, "XBM"},
        {"image/jpg", jpeg, "JPG"},
        {"image/webp", {1}, "WEB"},
        {"image/x", {1}, "X  "},
        {"JPE", {1}, "JPE"},
        // Would read back as the link marker.
        {"-->x", {1}, "   "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Mime);
        TAPICFrame frame;
        frame.Encoding = teISO8859_1;
        frame.MIMEType = c.Mime;
        frame.PictureData.Data() = c.Image;
        const FrameBytes out = test::SaveFrame(frame, ID3V2_VERSION_2_2);
        ASSERT_GE(out.size(), 10u);
        EXPECT_EQ(std::string(out.begin() + 7, out.begin() + 10), c.Format);
        TAPICFrame back;
        ASSERT_TRUE(test::LoadFrame(back, out, ID3V2_VERSION_2_2));
        EXPECT_FALSE(back.Linked);
        EXPECT_EQ(back.PictureData.Data(), c.Image);
    }
}

TEST(TAPICFrame, LinkedPictures) {
    struct Case {
        const char* Name;
        uint16_t Version;
        FrameBytes Bytes;
    };
    const Case cases[] = {
        {"2.4", ID3V2_VERSION_2_4,
         Fixture({"APIC",
                  {0, 0, 0, 23},
                  {0, 0},  // header
                  {0x00},  // encoding
                  "-->",
                  {0},     // link marker
                  {0x03},  // front cover
                  "d",
                  {0},  // description
                  "http://x/c.jpg",
                  {0}})},  // URL
        {"2.3", ID3V2_VERSION_2_3,
         Fixture(
             {"APIC", {0, 0, 0, 23}, {0, 0}, {0x00}, "-->", {0}, {0x03}, "d", {0}, "http://x/c.jpg", {0}})},
        {"2.2", ID3V2_VERSION_2_2,
         Fixture({"PIC", {0, 0, 22}, {0x00}, "-->", {0x03}, "d", {0}, "http://x/c.jpg", {0}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TAPICFrame frame;
        ASSERT_TRUE(test::LoadFrame(frame, c.Bytes, c.Version));
        EXPECT_TRUE(frame.Linked);
        EXPECT_EQ(frame.LinkURL, "http://x/c.jpg");
        EXPECT_EQ(frame.MIMEType, "");
        EXPECT_EQ(frame.PictureData.Size(), 0);
        EXPECT_EQ(frame.Description, u"d");
        EXPECT_EQ(test::SaveFrame(frame, c.Version), c.Bytes);
    }

    TAPICFrame toggled;
    toggled.MIMEType = "image/png";
    toggled.PictureData.Data() = {1, 2, 3};
    toggled.SetLinked(true);
    EXPECT_TRUE(toggled.Linked);
    EXPECT_EQ(toggled.MIMEType, "");
    EXPECT_EQ(toggled.PictureData.Size(), 0);
    EXPECT_FALSE(toggled.Modified) << "switching to a link leaves Modified alone";
}

TEST(TAPICFrame, NewPictureInTwoThreeAndTwoFour) {
    TAPICFrame frame;
    frame.SetMIMEType("image/PNG");
    frame.SetPictureType(3);
    frame.SetDescription(u"c");
    TMemoryStream image{FrameBytes{0x89, 'P', 'N', 'G'}};
    frame.SetPictureData(image);
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_4), Fixture({"APIC",
                                                                  {0, 0, 0, 0x14},
                                                                  {0, 0},  // header
                                                                  {0x02},  // UTF-16BE, allowed in 2.4
                                                                  "image/png",
                                                                  {0},             // lower-cased MIME type
                                                                  {0x03},          // front cover
                                                                  {0, 'c', 0, 0},  // description
                                                                  {0x89, 'P', 'N', 'G'}}));
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_3),
              Fixture({"APIC",
                       {0, 0, 0, 0x16},
                       {0, 0},  // header
                       {0x01},  // UTF-16 with mark
                       "image/png",
                       {0},                         // MIME type
                       {0x03},                      // front cover
                       {0xFE, 0xFF, 0, 'c', 0, 0},  // description, big-endian mark
                       {0x89, 'P', 'N', 'G'}}));
}

TEST(TAPICFrame, TruncatedContentNeverReadsPastTheStream) {
    const FrameBytes cases[] = {
        Fixture({"APIC", {0, 0x10, 0, 0}, {0, 0}, {0x00}, "image/jpeg", {0}, {3}, {0}, {0xFF, 0xD8}}),
        Fixture({"APIC", {0xFF, 0xFF, 0xFF, 0xFF}, {0, 0}, {0x01}, "image/jpeg"}),
        Fixture({"APIC", {0, 0, 0, 1}, {0, 0}, {0x00}}),
        Fixture({"APIC", {0, 0, 0, 0}, {0, 0}}),
    };
    for (const auto& in : cases) {
        TAPICFrame frame;
        int64_t end = 0;
        ASSERT_TRUE(test::LoadFrame(frame, in, ID3V2_VERSION_2_3, &end));
        EXPECT_LE(end, int64_t(in.size()));
    }
    TAPICFrame partial;
    ASSERT_TRUE(test::LoadFrame(partial, cases[0], ID3V2_VERSION_2_3));
    EXPECT_EQ(partial.PictureData.Data(), (FrameBytes{0xFF, 0xD8}));
}

TEST(TAPICFrame, DecodesItsOwnUnsynchronisation) {
    const FrameBytes in = Fixture({"APIC",                    // identifier
                                   {0x00, 0x00, 0x00, 0x1A},  // size 26
                                   {0x00, 0x03},              // unsynchronisation, data length indicator
                                   {0x00, 0x00, 0x00, 0x13},  // 19 bytes once decoded
                                   {0x00},                    // ISO-8859-1
                                   "image/jpeg",
                                   {0x00},                                              // MIME type
                                   {0x03},                                              // front cover
                                   {0x00},                                              // description
                                   {0xFF, 0x00, 0xD8, 0xFF, 0x00, 0xE0, 0xFF, 0x00}});  // FF D8 FF E0 FF
    TAPICFrame frame;
    int64_t end = 0;
    ASSERT_TRUE(test::LoadFrame(frame, in + Fixture({"TIT2"}), ID3V2_VERSION_2_4, &end));
    EXPECT_EQ(end, int64_t(in.size()));
    EXPECT_EQ(frame.MIMEType, "image/jpeg");
    EXPECT_EQ(frame.PictureData.Data(), (FrameBytes{0xFF, 0xD8, 0xFF, 0xE0, 0xFF}));
    const FrameBytes plain =
        Fixture({{0x00}, "image/jpeg", {0x00}, {0x03}, {0x00}, {0xFF, 0xD8, 0xFF, 0xE0, 0xFF}});
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_3), Header(ID3V2_VERSION_2_3, "APIC", 19) + plain);
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_4),
              Fixture({"APIC", {0, 0, 0, 23}, {0x00, 0x01}, {0, 0, 0, 19}}) + plain);
}

TEST(TAPICFrame, EmptyImageKeepsItsSizeAcrossSaves) {
    const FrameBytes in = Fixture({"APIC", {0, 0, 0, 13}, {0, 0}, {0x00}, "image/png", {0}, {3}, {0}});
    TAPICFrame frame;
    ASSERT_TRUE(test::LoadFrame(frame, in, ID3V2_VERSION_2_3));
    EXPECT_EQ(frame.PictureData.Size(), 0);
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_3), in);
}

TEST(TAPICFrame, RecognisesImagesByTheirFirstBytes) {
    auto pad = [](FrameBytes B) {
        B.resize(40, 0x11);
        return B;
    };
    FrameBytes bmp = pad(Fixture({"BM",              // signature
                                  {40, 0, 0, 0},     // file size
                                  {0, 0, 0, 0},      // reserved
                                  {0x36, 0, 0, 0},   // pixel offset
                                  {40, 0, 0, 0}}));  // info header size
    FrameBytes bmpWrongSize = bmp;
    bmpWrongSize[2] = 41;
    FrameBytes jfifNonZero = pad(kJfifHead);
    jfifNonZero[10] = 'X';
    struct Case {
        const char* Name;
        FrameBytes Bytes;
        std::string Mime;
    };
    const Case cases[] = {
        {"JFIF", pad(kJfifHead), "image/jpeg"},
        {"Exif", pad(Fixture({{0xFF, 0xD8, 0xFF, 0xE1}, {0x12, 0x34}, "Exif", {0, 0}})), "image/jpeg"},
        // A JPEG is known by its start-of-image marker and the marker after it, whatever its
        // first segment is.
        {"JFIF without zero at 10", jfifNonZero, "image/jpeg"},
        {"JPEG starting with its quantisation table", pad(Fixture({{0xFF, 0xD8, 0xFF, 0xDB}, {0, 0x43}})),
         "image/jpeg"},
        {"Adobe JPEG", pad(Fixture({{0xFF, 0xD8, 0xFF, 0xEE}, {0, 0x0E}, "Adobe"})), "image/jpeg"},
        {"JPEG with an ICC profile first",
         pad(Fixture({{0xFF, 0xD8, 0xFF, 0xE2}, {0x0C, 0x58}, "ICC_PROFILE"})), "image/jpeg"},
        {"start of image without a marker after it", pad(Fixture({{0xFF, 0xD8, 0x00, 0xE0}})), ""},
        {"start of image only", pad(Fixture({{0xFF, 0xD8}})), ""},
        {"PNG", pad(Fixture({{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}})), "image/png"},
        {"GIF89a", pad(Fixture({"GIF89a"})), "image/gif"},
        {"GIF87a", pad(Fixture({"GIF87a"})), "image/gif"},
        {"GIF with upper-case version letter", pad(Fixture({"GIF89A"})), ""},
        {"TIFF big-endian", pad(Fixture({"MM", {0x00, 0x2A}})), "image/tiff"},
        {"TIFF little-endian", pad(Fixture({"II", {0x2A, 0x00}})), "image/tiff"},
        {"TIFF mixed", pad(Fixture({"MM", {0x2A, 0x00}})), ""},
        {"BMP", bmp, "image/ms-bmp"},
        {"BMP with wrong size field", bmpWrongSize, ""},
        {"text", pad(Fixture({"hello, world"})), ""},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(TAPICFrame::DetectImageMimeType(c.Bytes, c.Bytes.size()), c.Mime);
        const auto path = dir / "picture";
        test::WriteFileBytes(path, c.Bytes);
        TAPICFrame frame;
        frame.MIMEType = "old/type";
        frame.PictureData.Data() = {7};
        EXPECT_EQ(frame.LoadPictureFromFile(path), !c.Mime.empty());
        EXPECT_EQ(frame.Modified, !c.Mime.empty());
        EXPECT_EQ(frame.MIMEType, c.Mime.empty() ? "old/type" : c.Mime);
        EXPECT_EQ(frame.PictureData.Data(), c.Mime.empty() ? FrameBytes{7} : c.Bytes);
    }

    TAPICFrame frame;
    EXPECT_FALSE(frame.LoadPictureFromFile(dir / "missing.jpg"));
    test::WriteFileBytes(dir / "short", FrameBytes(kJfifHead.begin(), kJfifHead.begin() + 17));
    EXPECT_THROW(frame.LoadPictureFromFile(dir / "short"), std::runtime_error);
}

TEST(TAPICFrame, RecognisesPicturesFromARealEncoder) {
    if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    test::TempDir dir;
    struct Case {
        const char* File;
        const char* Mime;
    };
    for (const Case& c : {Case{"p.jpg", "image/jpeg"}, Case{"p.png", "image/png"}, Case{"p.gif", "image/gif"},
                          Case{"p.bmp", "image/ms-bmp"}, Case{"p.tif", "image/tiff"}}) {
        SCOPED_TRACE(c.File);
        const auto path = dir / c.File;
        const auto result =
            test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=16x12:rate=1 -frames:v 1 " +
                             test::ShellQuote(path.string()));
        ASSERT_EQ(result.ExitCode, 0) << result.Output;
        TAPICFrame frame;
        ASSERT_TRUE(frame.LoadPictureFromFile(path));
        EXPECT_EQ(frame.MIMEType, c.Mime);
        EXPECT_EQ(frame.PictureData.Data(), test::ReadFileBytes(path));
    }
}

// Writes a tag holding one picture frame and lets a peer read it back.
TEST(TAPICFrame, PeerReadsWhatWeWrite) {
    if (!test::HaveTool("/usr/bin/python3") ||
        test::RunCommand("/usr/bin/python3 -c 'import mutagen'").ExitCode != 0)
        GTEST_SKIP() << "python3-mutagen not installed";
    struct Case {
        uint16_t Version;
        TTextEncoding Encoding;
    };
    test::TempDir dir;
    for (const Case& c : {Case{ID3V2_VERSION_2_2, teISO8859_1}, Case{ID3V2_VERSION_2_3, teUTF16},
                          Case{ID3V2_VERSION_2_3, teUTF8}, Case{ID3V2_VERSION_2_4, teUTF8},
                          Case{ID3V2_VERSION_2_4, teUTF16BE}}) {
        SCOPED_TRACE(test::VersionName(c.Version) + " encoding " + std::to_string(c.Encoding));
        TAPICFrame frame;
        frame.Encoding = c.Encoding;
        frame.SetMIMEType("image/jpeg");
        frame.SetPictureType(3);
        frame.SetDescription(c.Encoding == teISO8859_1 ? u"Caf\u00E9" : u"Caf\u00E9 \u65E5");
        FrameBytes image = kJfifHead;
        for (int i = 0; i < 300; ++i) image.push_back(static_cast<uint8_t>(i * 7));
        TMemoryStream imageStream{FrameBytes(image)};
        frame.SetPictureData(imageStream);

        TTxxxFrame title;
        title.SetFrameID("TIT2");
        title.Encoding = c.Encoding;
        title.SetText(u"T");
        title.MoreTexts = {u"U"};

        TMemoryStream frames;
        ASSERT_TRUE(frame.SaveToStream(frames, c.Version));
        ASSERT_TRUE(title.SaveToStream(frames, c.Version));
        const uint32_t size = uint32_t(frames.Size());
        FrameBytes tag = Fixture({"ID3",
                                  {c.Version >> 8, 0, 0},
                                  {int((size >> 21) & 0x7F), int((size >> 14) & 0x7F),
                                   int((size >> 7) & 0x7F), int(size & 0x7F)}}) +
                         frames.Data();
        const auto path = dir / "tag.id3";
        test::WriteFileBytes(path, tag);

        const std::string script =
            "import sys, hashlib\n"
            "from mutagen.id3 import ID3\n"
            "t = ID3(sys.argv[1])\n"
            "p = t.getall('APIC')[0]\n"
            "print(p.mime, int(p.type), p.desc.encode('unicode_escape').decode(), len(p.data), "
            "hashlib.sha1(p.data).hexdigest())\n"
            "print('|'.join(t.getall('TIT2')[0].text))\n";
        const auto result = test::RunCommand("/usr/bin/python3 -c " + test::ShellQuote(script) + " " +
                                             test::ShellQuote(path.string()));
        ASSERT_EQ(result.ExitCode, 0) << result.Output;
        test::WriteFileBytes(dir / "img", image);
        const auto sha = test::RunCommand("sha1sum " + test::ShellQuote((dir / "img").string()));
        ASSERT_EQ(sha.ExitCode, 0) << sha.Output;
        const std::string expected =
            "image/jpeg 3 " + std::string(c.Encoding == teISO8859_1 ? "Caf\\xe9" : "Caf\\xe9 \\u65e5") + " " +
            std::to_string(image.size()) + " " + sha.Output.substr(0, 40) + "\nT|U\n";
        EXPECT_EQ(result.Output, expected);
    }
}

TEST(TAPICFrame, SettersAndAssign) {
    TAPICFrame frame;
    EXPECT_EQ(frame.FrameName, "Picture");
    EXPECT_EQ(frame.FrameDescription, "Attached picture");
    frame.SetMIMEType("image/jpeg");
    EXPECT_TRUE(frame.Modified);
    frame.Modified = false;
    frame.SetMIMEType("IMAGE/JPEG");
    EXPECT_FALSE(frame.Modified);
    EXPECT_EQ(frame.MIMEType, "image/jpeg");
    frame.SetMIMEType("Image/PNG");
    EXPECT_EQ(frame.MIMEType, "image/png");

    frame.SetPictureType(3);
    EXPECT_EQ(frame.PictureTypeName(), "Cover (front)");
    frame.SetPictureType(20);
    EXPECT_EQ(frame.PictureTypeName(), "Publisher/Studio logotype");
    frame.SetPictureType(21);
    EXPECT_EQ(frame.PictureTypeName(), "");
    frame.SetPictureType(255);
    EXPECT_EQ(frame.PictureTypeName(), "");

    TMemoryStream source{FrameBytes{1, 2, 3}};
    source.SetPosition(2);
    frame.SetPictureData(source);
    EXPECT_EQ(source.Position(), 2);
    auto copy = frame.GetPictureData();
    EXPECT_EQ(copy->Data(), (FrameBytes{1, 2, 3}));
    copy->Data()[0] = 9;
    EXPECT_EQ(frame.PictureData.Data()[0], 1) << "the copy is the caller's own";

    TAPICFrame target;
    target.SetDescription(u"keep");
    target.SetPictureType(4);
    EXPECT_TRUE(target.Assign(frame));
    EXPECT_EQ(target.MIMEType, "image/png");
    EXPECT_EQ(target.PictureData.Data(), (FrameBytes{1, 2, 3}));
    EXPECT_EQ(target.Description, u"keep");
    EXPECT_EQ(target.PictureType, 4);

    TAPICFrame link;
    link.SetLinked(true);
    link.SetLinkURL("http://l/");
    EXPECT_TRUE(target.Assign(link));
    EXPECT_TRUE(target.Linked);
    EXPECT_EQ(target.LinkURL, "http://l/");
    EXPECT_EQ(target.PictureData.Size(), 0);

    TTxxxFrame text;
    EXPECT_FALSE(target.Assign(text));
}

}  // namespace
}  // namespace covrilo
