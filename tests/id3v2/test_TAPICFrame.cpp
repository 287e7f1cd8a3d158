// SPDX-License-Identifier: MIT
#include "id3v2/frames/TAPICFrame.h"

#include <gtest/gtest.h>

#include <fstream>

#include "FrameTestUtil.h"
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
                                      "JFIF", {0x00},            // identifier
                                      {0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00}});

TEST(TAPICFrame, ReadsAndWritesPicturesInEachVersion) {
    const FrameBytes Image = kJfifHead + FrameBytes{0xFF, 0xD9};
    struct Case {
        const char* Name;
        uint16_t Version;
        FrameBytes Content;
        TTextEncoding Encoding;
        std::string Mime;
        uint8_t Type;
        std::u16string Description;
    };
    const Case Cases[] = {
        {"2.2 JPG", ID3V2_VERSION_2_2, Fixture({{0x00}, "JPG", {0x03}, "front", {0}}) + Image, teISO8859_1,
         "image/jpeg", 3, u"front"},
        {"2.2 png in lower case", ID3V2_VERSION_2_2, Fixture({{0x00}, "png", {0x04}, {0}}) + Image, teISO8859_1,
         "image/png", 4, u""},
        {"2.3 utf-16", ID3V2_VERSION_2_3,
         Fixture({{0x01}, "image/jpeg", {0}, {0x03}, {0xFF, 0xFE, 'c', 0, 0, 0}}) + Image, teUTF16, "image/jpeg", 3,
         u"c"},
        // Types beyond the table are other programs' data: kept as stored, never made 0.
        {"2.3 type 21 is kept", ID3V2_VERSION_2_3, Fixture({{0x00}, "image/png", {0}, {21}, {0}}) + Image,
         teISO8859_1, "image/png", 21, u""},
        {"2.4 type 255 is kept", ID3V2_VERSION_2_4, Fixture({{0x03}, "image/PNG", {0}, {255}, {0}}) + Image,
         teUTF8, "image/PNG", 255, u""},
        {"2.4 utf-16be, no image bytes", ID3V2_VERSION_2_4,
         Fixture({{0x02}, "image/gif", {0}, {0x14}, {0, 'x', 0, 0}}), teUTF16BE, "image/gif", 20, u"x"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const std::string ID = C.Version == ID3V2_VERSION_2_2 ? "PIC" : "APIC";
        const FrameBytes In = Header(C.Version, ID, uint32_t(C.Content.size())) + C.Content;
        TAPICFrame Frame;
        int64_t End = 0;
        ASSERT_TRUE(test::LoadFrame(Frame, In + Fixture({"TIT2"}), C.Version, &End));
        EXPECT_EQ(End, int64_t(In.size()));
        EXPECT_EQ(Frame.FrameID(), "APIC");
        EXPECT_EQ(Frame.Encoding, C.Encoding);
        EXPECT_EQ(Frame.MIMEType, C.Mime);
        EXPECT_EQ(Frame.PictureType, C.Type);
        EXPECT_EQ(Frame.Description, C.Description);
        EXPECT_FALSE(Frame.Linked);
        const bool HasImage = C.Content.size() > Image.size();
        EXPECT_EQ(Frame.PictureData.Data(), HasImage ? Image : FrameBytes{});

        const FrameBytes Out = test::SaveFrame(Frame, C.Version);
        TAPICFrame Back;
        ASSERT_TRUE(test::LoadFrame(Back, Out, C.Version));
        EXPECT_EQ(Back.MIMEType, C.Version == ID3V2_VERSION_2_2 ? C.Mime : Frame.MIMEType);
        EXPECT_EQ(Back.PictureType, C.Type);
        EXPECT_EQ(Back.Description, C.Description);
        EXPECT_EQ(Back.PictureData.Data(), Frame.PictureData.Data());
    }
}

TEST(TAPICFrame, WritesTheTwoTwoImageFormat) {
    const FrameBytes Jpeg = kJfifHead + FrameBytes{0xFF, 0xD9};
    struct Case {
        std::string Mime;
        FrameBytes Image;
        const char* Format;
    };
    const Case Cases[] = {
        {"image/png", {1}, "PNG"},     {"PING", {1}, "PNG"},          {"image/jpeg", {1}, "JPG"},
        {"jpeg", {1}, "JPG"},          {"image/gif", {1}, "GIF"},     {"image/ms-bmp", {1}, "BMP"},
        {"bitmap", {1}, "BMP"},        {"image/tiff", {1}, "TIF"},    {"tiff", {1}, "TIF"},
        {"image/x-bmp", {1}, "XBM"},   {"image/jpg", Jpeg, "JPG"},    {"image/webp", {1}, "WEB"},
        {"image/x", {1}, "X  "},       {"JPE", {1}, "JPE"},
        // Would read back as the link marker.
        {"-->x", {1}, "   "},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Mime);
        TAPICFrame Frame;
        Frame.Encoding = teISO8859_1;
        Frame.MIMEType = C.Mime;
        Frame.PictureData.Data() = C.Image;
        const FrameBytes Out = test::SaveFrame(Frame, ID3V2_VERSION_2_2);
        ASSERT_GE(Out.size(), 10u);
        EXPECT_EQ(std::string(Out.begin() + 7, Out.begin() + 10), C.Format);
        TAPICFrame Back;
        ASSERT_TRUE(test::LoadFrame(Back, Out, ID3V2_VERSION_2_2));
        EXPECT_FALSE(Back.Linked);
        EXPECT_EQ(Back.PictureData.Data(), C.Image);
    }
}

TEST(TAPICFrame, LinkedPictures) {
    struct Case {
        const char* Name;
        uint16_t Version;
        FrameBytes Bytes;
    };
    const Case Cases[] = {
        {"2.4", ID3V2_VERSION_2_4,
         Fixture({"APIC", {0, 0, 0, 23}, {0, 0},    // header
                  {0x00},                           // encoding
                  "-->", {0},                       // link marker
                  {0x03},                           // front cover
                  "d", {0},                         // description
                  "http://x/c.jpg", {0}})},         // URL
        {"2.3", ID3V2_VERSION_2_3,
         Fixture({"APIC", {0, 0, 0, 23}, {0, 0}, {0x00}, "-->", {0}, {0x03}, "d", {0}, "http://x/c.jpg", {0}})},
        {"2.2", ID3V2_VERSION_2_2, Fixture({"PIC", {0, 0, 22}, {0x00}, "-->", {0x03}, "d", {0}, "http://x/c.jpg", {0}})},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TAPICFrame Frame;
        ASSERT_TRUE(test::LoadFrame(Frame, C.Bytes, C.Version));
        EXPECT_TRUE(Frame.Linked);
        EXPECT_EQ(Frame.LinkURL, "http://x/c.jpg");
        EXPECT_EQ(Frame.MIMEType, "");
        EXPECT_EQ(Frame.PictureData.Size(), 0);
        EXPECT_EQ(Frame.Description, u"d");
        EXPECT_EQ(test::SaveFrame(Frame, C.Version), C.Bytes);
    }

    TAPICFrame Switch;
    Switch.MIMEType = "image/png";
    Switch.PictureData.Data() = {1, 2, 3};
    Switch.SetLinked(true);
    EXPECT_TRUE(Switch.Linked);
    EXPECT_EQ(Switch.MIMEType, "");
    EXPECT_EQ(Switch.PictureData.Size(), 0);
    EXPECT_FALSE(Switch.Modified) << "switching to a link leaves Modified alone";
}

TEST(TAPICFrame, NewPictureInTwoThreeAndTwoFour) {
    TAPICFrame Frame;
    Frame.SetMIMEType("image/PNG");
    Frame.SetPictureType(3);
    Frame.SetDescription(u"c");
    TMemoryStream Image{FrameBytes{0x89, 'P', 'N', 'G'}};
    Frame.SetPictureData(Image);
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_4),
              Fixture({"APIC", {0, 0, 0, 0x14}, {0, 0},   // header
                       {0x02},                             // UTF-16BE, allowed in 2.4
                       "image/png", {0},                   // lower-cased MIME type
                       {0x03},                             // front cover
                       {0, 'c', 0, 0},                     // description
                       {0x89, 'P', 'N', 'G'}}));
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_3),
              Fixture({"APIC", {0, 0, 0, 0x16}, {0, 0},   // header
                       {0x01},                             // UTF-16 with mark
                       "image/png", {0},                   // MIME type
                       {0x03},                             // front cover
                       {0xFE, 0xFF, 0, 'c', 0, 0},         // description, big-endian mark
                       {0x89, 'P', 'N', 'G'}}));
}

TEST(TAPICFrame, TruncatedContentNeverReadsPastTheStream) {
    const FrameBytes Cases[] = {
        Fixture({"APIC", {0, 0x10, 0, 0}, {0, 0}, {0x00}, "image/jpeg", {0}, {3}, {0}, {0xFF, 0xD8}}),
        Fixture({"APIC", {0xFF, 0xFF, 0xFF, 0xFF}, {0, 0}, {0x01}, "image/jpeg"}),
        Fixture({"APIC", {0, 0, 0, 1}, {0, 0}, {0x00}}),
        Fixture({"APIC", {0, 0, 0, 0}, {0, 0}}),
    };
    for (const auto& In : Cases) {
        TAPICFrame Frame;
        int64_t End = 0;
        ASSERT_TRUE(test::LoadFrame(Frame, In, ID3V2_VERSION_2_3, &End));
        EXPECT_LE(End, int64_t(In.size()));
    }
    TAPICFrame Partial;
    ASSERT_TRUE(test::LoadFrame(Partial, Cases[0], ID3V2_VERSION_2_3));
    EXPECT_EQ(Partial.PictureData.Data(), (FrameBytes{0xFF, 0xD8}));
}

TEST(TAPICFrame, DecodesItsOwnUnsynchronisation) {
    const FrameBytes In = Fixture({"APIC",                    // identifier
                                   {0x00, 0x00, 0x00, 0x1A},  // size 26
                                   {0x00, 0x03},              // unsynchronisation, data length indicator
                                   {0x00, 0x00, 0x00, 0x13},  // 19 bytes once decoded
                                   {0x00},                    // ISO-8859-1
                                   "image/jpeg", {0x00},      // MIME type
                                   {0x03},                    // front cover
                                   {0x00},                    // description
                                   {0xFF, 0x00, 0xD8, 0xFF, 0x00, 0xE0, 0xFF, 0x00}});  // FF D8 FF E0 FF
    TAPICFrame Frame;
    int64_t End = 0;
    ASSERT_TRUE(test::LoadFrame(Frame, In + Fixture({"TIT2"}), ID3V2_VERSION_2_4, &End));
    EXPECT_EQ(End, int64_t(In.size()));
    EXPECT_EQ(Frame.MIMEType, "image/jpeg");
    EXPECT_EQ(Frame.PictureData.Data(), (FrameBytes{0xFF, 0xD8, 0xFF, 0xE0, 0xFF}));
    const FrameBytes Plain = Fixture({{0x00}, "image/jpeg", {0x00}, {0x03}, {0x00}, {0xFF, 0xD8, 0xFF, 0xE0, 0xFF}});
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_3), Header(ID3V2_VERSION_2_3, "APIC", 19) + Plain);
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_4),
              Fixture({"APIC", {0, 0, 0, 23}, {0x00, 0x01}, {0, 0, 0, 19}}) + Plain);
}

TEST(TAPICFrame, EmptyImageKeepsItsSizeAcrossSaves) {
    const FrameBytes In = Fixture({"APIC", {0, 0, 0, 13}, {0, 0}, {0x00}, "image/png", {0}, {3}, {0}});
    TAPICFrame Frame;
    ASSERT_TRUE(test::LoadFrame(Frame, In, ID3V2_VERSION_2_3));
    EXPECT_EQ(Frame.PictureData.Size(), 0);
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_3), In);
}

TEST(TAPICFrame, RecognisesImagesByTheirFirstBytes) {
    auto Pad = [](FrameBytes B) {
        B.resize(40, 0x11);
        return B;
    };
    FrameBytes Bmp = Pad(Fixture({"BM",                     // signature
                                  {40, 0, 0, 0},            // file size
                                  {0, 0, 0, 0},             // reserved
                                  {0x36, 0, 0, 0},          // pixel offset
                                  {40, 0, 0, 0}}));         // info header size
    FrameBytes BmpWrongSize = Bmp;
    BmpWrongSize[2] = 41;
    FrameBytes JfifNonZero = Pad(kJfifHead);
    JfifNonZero[10] = 'X';
    struct Case {
        const char* Name;
        FrameBytes Bytes;
        std::string Mime;
    };
    const Case Cases[] = {
        {"JFIF", Pad(kJfifHead), "image/jpeg"},
        {"Exif", Pad(Fixture({{0xFF, 0xD8, 0xFF, 0xE1}, {0x12, 0x34}, "Exif", {0, 0}})), "image/jpeg"},
        // A JPEG is known by its start-of-image marker and the marker after it, whatever its
        // first segment is.
        {"JFIF without zero at 10", JfifNonZero, "image/jpeg"},
        {"JPEG starting with its quantisation table", Pad(Fixture({{0xFF, 0xD8, 0xFF, 0xDB}, {0, 0x43}})),
         "image/jpeg"},
        {"Adobe JPEG", Pad(Fixture({{0xFF, 0xD8, 0xFF, 0xEE}, {0, 0x0E}, "Adobe"})), "image/jpeg"},
        {"JPEG with an ICC profile first", Pad(Fixture({{0xFF, 0xD8, 0xFF, 0xE2}, {0x0C, 0x58}, "ICC_PROFILE"})),
         "image/jpeg"},
        {"start of image without a marker after it", Pad(Fixture({{0xFF, 0xD8, 0x00, 0xE0}})), ""},
        {"start of image only", Pad(Fixture({{0xFF, 0xD8}})), ""},
        {"PNG", Pad(Fixture({{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}})), "image/png"},
        {"GIF89a", Pad(Fixture({"GIF89a"})), "image/gif"},
        {"GIF87a", Pad(Fixture({"GIF87a"})), "image/gif"},
        {"GIF with upper-case version letter", Pad(Fixture({"GIF89A"})), ""},
        {"TIFF big-endian", Pad(Fixture({"MM", {0x00, 0x2A}})), "image/tiff"},
        {"TIFF little-endian", Pad(Fixture({"II", {0x2A, 0x00}})), "image/tiff"},
        {"TIFF mixed", Pad(Fixture({"MM", {0x2A, 0x00}})), ""},
        {"BMP", Bmp, "image/ms-bmp"},
        {"BMP with wrong size field", BmpWrongSize, ""},
        {"text", Pad(Fixture({"hello, world"})), ""},
    };
    test::TempDir Dir;
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        EXPECT_EQ(TAPICFrame::DetectImageMimeType(C.Bytes, C.Bytes.size()), C.Mime);
        const auto Path = Dir / "picture";
        test::WriteFileBytes(Path, C.Bytes);
        TAPICFrame Frame;
        Frame.MIMEType = "old/type";
        Frame.PictureData.Data() = {7};
        EXPECT_EQ(Frame.LoadPictureFromFile(Path), !C.Mime.empty());
        EXPECT_EQ(Frame.Modified, !C.Mime.empty());
        EXPECT_EQ(Frame.MIMEType, C.Mime.empty() ? "old/type" : C.Mime);
        EXPECT_EQ(Frame.PictureData.Data(), C.Mime.empty() ? FrameBytes{7} : C.Bytes);
    }

    TAPICFrame Frame;
    EXPECT_FALSE(Frame.LoadPictureFromFile(Dir / "missing.jpg"));
    test::WriteFileBytes(Dir / "short", FrameBytes(kJfifHead.begin(), kJfifHead.begin() + 17));
    EXPECT_THROW(Frame.LoadPictureFromFile(Dir / "short"), std::runtime_error);
}

TEST(TAPICFrame, RecognisesPicturesFromARealEncoder) {
    if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    test::TempDir Dir;
    struct Case {
        const char* File;
        const char* Mime;
    };
    for (const Case& C : {Case{"p.jpg", "image/jpeg"}, Case{"p.png", "image/png"}, Case{"p.gif", "image/gif"},
                          Case{"p.bmp", "image/ms-bmp"}, Case{"p.tif", "image/tiff"}}) {
        SCOPED_TRACE(C.File);
        const auto Path = Dir / C.File;
        const auto Result = test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=16x12:rate=1 -frames:v 1 " +
                                             test::ShellQuote(Path.string()));
        ASSERT_EQ(Result.exitCode, 0) << Result.output;
        TAPICFrame Frame;
        ASSERT_TRUE(Frame.LoadPictureFromFile(Path));
        EXPECT_EQ(Frame.MIMEType, C.Mime);
        EXPECT_EQ(Frame.PictureData.Data(), test::ReadFileBytes(Path));
    }
}

// Writes a tag holding one picture frame and lets a peer read it back.
TEST(TAPICFrame, PeerReadsWhatWeWrite) {
    if (!test::HaveTool("/usr/bin/python3") ||
        test::RunCommand("/usr/bin/python3 -c 'import mutagen'").exitCode != 0)
        GTEST_SKIP() << "python3-mutagen not installed";
    struct Case {
        uint16_t Version;
        TTextEncoding Encoding;
    };
    test::TempDir Dir;
    for (const Case& C : {Case{ID3V2_VERSION_2_2, teISO8859_1}, Case{ID3V2_VERSION_2_3, teUTF16},
                          Case{ID3V2_VERSION_2_3, teUTF8}, Case{ID3V2_VERSION_2_4, teUTF8},
                          Case{ID3V2_VERSION_2_4, teUTF16BE}}) {
        SCOPED_TRACE(test::VersionName(C.Version) + " encoding " + std::to_string(C.Encoding));
        TAPICFrame Frame;
        Frame.Encoding = C.Encoding;
        Frame.SetMIMEType("image/jpeg");
        Frame.SetPictureType(3);
        Frame.SetDescription(C.Encoding == teISO8859_1 ? u"Caf\u00E9" : u"Caf\u00E9 \u65E5");
        FrameBytes Image = kJfifHead;
        for (int I = 0; I < 300; ++I) Image.push_back(static_cast<uint8_t>(I * 7));
        TMemoryStream ImageStream{FrameBytes(Image)};
        Frame.SetPictureData(ImageStream);

        TTxxxFrame Title;
        Title.SetFrameID("TIT2");
        Title.Encoding = C.Encoding;
        Title.SetText(u"T");
        Title.MoreTexts = {u"U"};

        TMemoryStream Frames;
        ASSERT_TRUE(Frame.SaveToStream(Frames, C.Version));
        ASSERT_TRUE(Title.SaveToStream(Frames, C.Version));
        const uint32_t Size = uint32_t(Frames.Size());
        FrameBytes Tag = Fixture({"ID3", {C.Version >> 8, 0, 0},
                                  {int((Size >> 21) & 0x7F), int((Size >> 14) & 0x7F), int((Size >> 7) & 0x7F),
                                   int(Size & 0x7F)}}) +
                         Frames.Data();
        const auto Path = Dir / "tag.id3";
        test::WriteFileBytes(Path, Tag);

        const std::string Script =
            "import sys, hashlib\n"
            "from mutagen.id3 import ID3\n"
            "t = ID3(sys.argv[1])\n"
            "p = t.getall('APIC')[0]\n"
            "print(p.mime, int(p.type), p.desc.encode('unicode_escape').decode(), len(p.data), hashlib.sha1(p.data).hexdigest())\n"
            "print('|'.join(t.getall('TIT2')[0].text))\n";
        const auto Result =
            test::RunCommand("/usr/bin/python3 -c " + test::ShellQuote(Script) + " " + test::ShellQuote(Path.string()));
        ASSERT_EQ(Result.exitCode, 0) << Result.output;
        test::WriteFileBytes(Dir / "img", Image);
        const auto Sha = test::RunCommand("sha1sum " + test::ShellQuote((Dir / "img").string()));
        ASSERT_EQ(Sha.exitCode, 0) << Sha.output;
        const std::string Expected = "image/jpeg 3 " +
                                     std::string(C.Encoding == teISO8859_1 ? "Caf\\xe9" : "Caf\\xe9 \\u65e5") + " " +
                                     std::to_string(Image.size()) + " " + Sha.output.substr(0, 40) + "\nT|U\n";
        EXPECT_EQ(Result.output, Expected);
    }
}

TEST(TAPICFrame, SettersAndAssign) {
    TAPICFrame Frame;
    EXPECT_EQ(Frame.FrameName, "Picture");
    EXPECT_EQ(Frame.FrameDescription, "Attached picture");
    Frame.SetMIMEType("image/jpeg");
    EXPECT_TRUE(Frame.Modified);
    Frame.Modified = false;
    Frame.SetMIMEType("IMAGE/JPEG");
    EXPECT_FALSE(Frame.Modified);
    EXPECT_EQ(Frame.MIMEType, "image/jpeg");
    Frame.SetMIMEType("Image/PNG");
    EXPECT_EQ(Frame.MIMEType, "image/png");

    Frame.SetPictureType(3);
    EXPECT_EQ(Frame.PictureTypeName(), "Cover (front)");
    Frame.SetPictureType(20);
    EXPECT_EQ(Frame.PictureTypeName(), "Publisher/Studio logotype");
    Frame.SetPictureType(21);
    EXPECT_EQ(Frame.PictureTypeName(), "");
    Frame.SetPictureType(255);
    EXPECT_EQ(Frame.PictureTypeName(), "");

    TMemoryStream Source{FrameBytes{1, 2, 3}};
    Source.SetPosition(2);
    Frame.SetPictureData(Source);
    EXPECT_EQ(Source.Position(), 2);
    auto Copy = Frame.GetPictureData();
    EXPECT_EQ(Copy->Data(), (FrameBytes{1, 2, 3}));
    Copy->Data()[0] = 9;
    EXPECT_EQ(Frame.PictureData.Data()[0], 1) << "the copy is the caller's own";

    TAPICFrame Target;
    Target.SetDescription(u"keep");
    Target.SetPictureType(4);
    EXPECT_TRUE(Target.Assign(Frame));
    EXPECT_EQ(Target.MIMEType, "image/png");
    EXPECT_EQ(Target.PictureData.Data(), (FrameBytes{1, 2, 3}));
    EXPECT_EQ(Target.Description, u"keep");
    EXPECT_EQ(Target.PictureType, 4);

    TAPICFrame Link;
    Link.SetLinked(true);
    Link.SetLinkURL("http://l/");
    EXPECT_TRUE(Target.Assign(Link));
    EXPECT_TRUE(Target.Linked);
    EXPECT_EQ(Target.LinkURL, "http://l/");
    EXPECT_EQ(Target.PictureData.Size(), 0);

    TTxxxFrame Text;
    EXPECT_FALSE(Target.Assign(Text));
}

}  // namespace
}  // namespace covrilo
