// SPDX-License-Identifier: MIT
#include "app/CoverImage.h"

#include "AppTestUtil.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(CoverImage, ScaledSizes) {
    struct Case { int W, H, MaxW, MaxH; std::optional<TScaledSize> Expected; };
    const Case Cases[] = {
        {1600, 1200, 500, 500, TScaledSize{500, 375}},
        {1200, 1600, 500, 500, TScaledSize{375, 500}},
        {1200, 1200, 600, 300, TScaledSize{300, 300}},  // the tighter limit wins
        {1000, 5, 500, 500, TScaledSize{500, 2}},       // 2.5 rounds to even
        {1000, 7, 500, 500, TScaledSize{500, 4}},       // 3.5 rounds to even
        {501, 500, 500, 500, TScaledSize{500, 499}},
        {10000, 10, 20, 20, TScaledSize{20, 1}},        // 0.02 would be no row at all
        {400, 300, 500, 500, std::nullopt},
        {500, 400, 500, 500, std::nullopt},             // exactly at the limit
        {20, 20, 20, 20, std::nullopt},
        {1, 1, 20, 20, std::nullopt},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(ComputeScaledSize(C.W, C.H, C.MaxW, C.MaxH), C.Expected) << C.W << "x" << C.H;
    }
    EXPECT_THROW(ComputeScaledSize(100, 100, 0, 20), std::invalid_argument);
    EXPECT_THROW(ComputeScaledSize(0, 100, 20, 20), std::invalid_argument);
}

TEST(CoverImage, NearestNeighbourMap) {
    struct Case { int Source, Dest; std::vector<uint32_t> Expected; };
    const Case Cases[] = {
        {4, 2, {0, 2}},
        {5, 2, {0, 2}},
        {3, 3, {0, 1, 2}},
        {7, 1, {3}},  // a single pixel takes the middle
        {8, 1, {3}},
        // 20 / 6 in single precision lies just below 10 / 3, so 3 * ratio truncates to 9.
        {20, 6, {0, 3, 6, 9, 13, 16}},
        {1600, 5, {0, 320, 640, 960, 1280}},
    };
    for (const auto& C : Cases) EXPECT_EQ(NearestNeighbourMap(C.Source, C.Dest), C.Expected) << C.Source << "->" << C.Dest;
}

std::array<int, 3> PixelAt(const TRgbImage& Image, int X, int Y) {
    const size_t I = (static_cast<size_t>(Y) * static_cast<size_t>(Image.Width) + static_cast<size_t>(X)) * 3;
    return {Image.Pixels[I], Image.Pixels[I + 1], Image.Pixels[I + 2]};
}

void ExpectNear(const std::array<int, 3>& Actual, const std::array<int, 3>& Expected, const std::string& Where) {
    for (int C = 0; C < 3; ++C) EXPECT_NEAR(Actual[C], Expected[C], 40) << Where << " channel " << C;
}

// Samples the middle of each quadrant of a decoded quadrant picture.
void ExpectQuadrants(const TRgbImage& Image, const std::array<std::array<int, 3>, 4>& Colours) {
    const int Qx[] = {Image.Width / 4, Image.Width * 3 / 4};
    const int Qy[] = {Image.Height / 4, Image.Height * 3 / 4};
    ExpectNear(PixelAt(Image, Qx[0], Qy[0]), Colours[0], "top left");
    ExpectNear(PixelAt(Image, Qx[1], Qy[0]), Colours[1], "top right");
    ExpectNear(PixelAt(Image, Qx[0], Qy[1]), Colours[2], "bottom left");
    ExpectNear(PixelAt(Image, Qx[1], Qy[1]), Colours[3], "bottom right");
}

const std::array<std::array<int, 3>, 4> kColourQuadrants = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}}};

class PrepareCoverImageTest : public testing::Test {
protected:
    void SetUp() override {
        if (!test::HavePillow()) GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed";
        fs::create_directory(ExeDir);
    }
    fs::path MakePicture(const std::string& Name, int W, int H, const std::string& Mode = "RGB", bool Progressive = false) {
        const auto File = Dir / Name;
        const auto R = test::MakeQuadrantJpeg(File, W, H, Mode, Progressive);
        EXPECT_EQ(R.exitCode, 0) << R.output;
        return File;
    }
    TempDir Dir;
    fs::path ExeDir = Dir / "exe";
};

TEST_F(PrepareCoverImageTest, LargePictureIsScaledIntoTempJpeg) {
    fs::path ImagePath = MakePicture("big.jpg", 1600, 1200);
    ASSERT_TRUE(PrepareCoverImage(ImagePath, 500, 500, 70, ExeDir));
    EXPECT_EQ(ImagePath, ExeDir / "temp.jpg");

    const auto Image = DecodeJpegFile(ImagePath);
    EXPECT_EQ(Image.Width, 500);
    EXPECT_EQ(Image.Height, 375);
    ExpectQuadrants(Image, kColourQuadrants);

    // Read back by an independent decoder: baseline, JFIF, three components, quality 70
    // (the luminance DC step of the standard table at 70 is 10).
    const auto Described = test::DescribeJpeg(ImagePath);
    ASSERT_EQ(Described.exitCode, 0) << Described.output;
    EXPECT_EQ(Described.output, "500x375 RGB progressive=0 jfif=1 dc=10");
    const auto Bytes = test::ReadFileBytes(ImagePath);
    ASSERT_GE(Bytes.size(), 11u);
    EXPECT_EQ(std::string(Bytes.begin() + 6, Bytes.begin() + 11), std::string("JFIF\0", 5));
}

TEST_F(PrepareCoverImageTest, PictureWithinLimitsIsLeftAlone) {
    struct Case { int W, H; };
    for (const Case C : {Case{400, 300}, Case{500, 400}, Case{500, 500}}) {
        fs::path ImagePath = MakePicture("small.jpg", C.W, C.H);
        const fs::path Original = ImagePath;
        EXPECT_FALSE(PrepareCoverImage(ImagePath, 500, 500, 70, ExeDir)) << C.W << "x" << C.H;
        EXPECT_EQ(ImagePath, Original);
        EXPECT_FALSE(fs::exists(ExeDir / "temp.jpg"));
    }
}

TEST_F(PrepareCoverImageTest, OddShapesAndColourModels) {
    struct Case { const char* Mode; bool Progressive; int W, H, MaxW, MaxH, OutW, OutH; bool CheckColours; };
    const Case Cases[] = {
        {"RGB", false, 1200, 1600, 500, 500, 375, 500, true},
        {"RGB", false, 1000, 5, 500, 500, 500, 2, false},
        {"RGB", false, 1000, 7, 500, 500, 500, 4, false},
        {"RGB", false, 10000, 10, 20, 20, 20, 1, false},
        {"RGB", true, 800, 800, 100, 100, 100, 100, true},
        {"L", false, 800, 600, 400, 400, 400, 300, false},
        {"CMYK", false, 800, 600, 400, 400, 400, 300, true},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(std::string(C.Mode) + " " + std::to_string(C.W) + "x" + std::to_string(C.H));
        fs::path ImagePath = MakePicture("in.jpg", C.W, C.H, C.Mode, C.Progressive);
        ASSERT_TRUE(PrepareCoverImage(ImagePath, C.MaxW, C.MaxH, 90, ExeDir));
        const auto Image = DecodeJpegFile(ImagePath);
        EXPECT_EQ(Image.Width, C.OutW);
        EXPECT_EQ(Image.Height, C.OutH);
        if (C.CheckColours) ExpectQuadrants(Image, kColourQuadrants);
        const auto Described = test::DescribeJpeg(ImagePath);
        EXPECT_EQ(Described.output, std::to_string(C.OutW) + "x" + std::to_string(C.OutH) +
                                        " RGB progressive=0 jfif=1 dc=" + std::string("3"));
    }
}

TEST_F(PrepareCoverImageTest, GrayscaleStaysGreyInColour) {
    fs::path ImagePath = MakePicture("gray.jpg", 800, 600, "L");
    ASSERT_TRUE(PrepareCoverImage(ImagePath, 400, 400, 90, ExeDir));
    const auto Image = DecodeJpegFile(ImagePath);
    // Luma of red, green, blue and white.
    ExpectQuadrants(Image, {{{76, 76, 76}, {150, 150, 150}, {29, 29, 29}, {255, 255, 255}}});
}

TEST_F(PrepareCoverImageTest, QualityChoosesTheQuantisationTables) {
    struct Case { int Quality; int LumaDc; };
    for (const Case C : {Case{1, 255}, Case{50, 16}, Case{70, 10}, Case{100, 1}}) {
        fs::path ImagePath = MakePicture("q.jpg", 600, 600);
        ASSERT_TRUE(PrepareCoverImage(ImagePath, 300, 300, C.Quality, ExeDir));
        const auto Described = test::DescribeJpeg(ImagePath);
        EXPECT_EQ(Described.output, "300x300 RGB progressive=0 jfif=1 dc=" + std::to_string(C.LumaDc)) << C.Quality;
    }
}

TEST_F(PrepareCoverImageTest, SecondRunStartsFromTheScaledCopy) {
    fs::path ImagePath = MakePicture("big.jpg", 1600, 1200);
    ASSERT_TRUE(PrepareCoverImage(ImagePath, 500, 500, 70, ExeDir));
    EXPECT_FALSE(PrepareCoverImage(ImagePath, 1000, 1000, 70, ExeDir));  // never enlarged
    EXPECT_EQ(ImagePath, ExeDir / "temp.jpg");
    ASSERT_TRUE(PrepareCoverImage(ImagePath, 200, 200, 70, ExeDir));  // reads and replaces temp.jpg
    EXPECT_EQ(ImagePath, ExeDir / "temp.jpg");
    const auto Image = DecodeJpegFile(ImagePath);
    EXPECT_EQ(Image.Width, 200);
    EXPECT_EQ(Image.Height, 150);
    ExpectQuadrants(Image, kColourQuadrants);
}

TEST_F(PrepareCoverImageTest, PrepareCoverWorksInMemoryAndTakesAnyJpeg) {
    // CMYK: libjpeg writes an Adobe segment first, no JFIF one.
    const fs::path Adobe = MakePicture("adobe.jpg", 300, 200, "CMYK");
    const auto Head = test::ReadFileBytes(Adobe);
    ASSERT_EQ(Head.at(3), 0xEE);
    const TPreparedCover AsItIs = PrepareCover(Adobe, 500, 500, 70);
    EXPECT_TRUE(AsItIs.Scaled.empty());
    EXPECT_EQ(std::vector<int>({AsItIs.SourceWidth, AsItIs.SourceHeight, AsItIs.Width, AsItIs.Height}),
              std::vector<int>({300, 200, 300, 200}));
    EXPECT_EQ(AsItIs.Bytes, static_cast<int64_t>(fs::file_size(Adobe)));

    const TPreparedCover Scaled = PrepareCover(Adobe, 150, 150, 70);
    EXPECT_EQ(std::vector<int>({Scaled.Width, Scaled.Height}), std::vector<int>({150, 100}));
    EXPECT_EQ(Scaled.Bytes, static_cast<int64_t>(Scaled.Scaled.size()));
    test::WriteFileBytes(Dir / "scaled.jpg", Scaled.Scaled);
    EXPECT_EQ(DecodeJpegFile(Dir / "scaled.jpg").Width, 150);
    EXPECT_FALSE(fs::exists(ExeDir / "temp.jpg")) << "PrepareCover writes nothing";

    // What the picture frame would not take is refused, though libjpeg would decode it.
    test::Bytes Stray = test::ReadFileBytes(MakePicture("good.jpg", 64, 64));
    Stray.insert(Stray.begin() + 2, 0x00);
    test::WriteFileBytes(Dir / "stray.jpg", Stray);
    try {
        PrepareCover(Dir / "stray.jpg", 500, 500, 70);
        ADD_FAILURE() << "no exception";
    } catch (const EJpegError& E) {
        EXPECT_EQ(std::string(E.what()),
                  "Not a JPEG file: it does not start with a JPEG start-of-image marker, FF D8 FF (" +
                      (Dir / "stray.jpg").string() + ")");
    }
}

// Damaged pictures raise with libjpeg's message, on the scaling path and on the path
// that keeps the file, and leave ImagePath and the data directory untouched.
TEST_F(PrepareCoverImageTest, DamagedPicturesRaiseWithAMessage) {
    const auto Good = test::ReadFileBytes(MakePicture("good.jpg", 800, 600));
    struct Case { const char* What; test::Bytes Data; const char* MessagePart; };
    test::Bytes Truncated(Good.begin(), Good.begin() + static_cast<long>(Good.size() / 2));
    test::Bytes HeaderOnly(Good.begin(), Good.begin() + 200);
    test::Bytes Corrupt = Good;
    for (size_t I = Good.size() / 2; I < Good.size() / 2 + 64; ++I) Corrupt[I] = 0xFF;
    // A header claiming 65496 x 57374 pixels: refused before libjpeg allocates for it.
    test::Bytes Huge = Good;
    for (size_t I = 2; I + 9 < Huge.size(); ++I)
        if (Huge[I] == 0xFF && Huge[I + 1] == 0xC0) {
            const uint8_t Size[] = {0xE0, 0x1E, 0xFF, 0xD8};  // height, width
            std::copy(std::begin(Size), std::end(Size), Huge.begin() + static_cast<long>(I) + 5);
            break;
        }
    ASSERT_NE(Huge, Good) << "no SOF0 marker";
    const Case Cases[] = {
        {"forged size", Huge, "Picture too large: 65496 x 57374 pixels"},
        {"truncated", Truncated, "Premature end of JPEG file"},
        {"headers only", HeaderOnly, ""},
        {"corrupt data", Corrupt, "Corrupt JPEG data"},
        {"not a JPEG", test::ToBytes("GIF89a not a jpeg at all"), "Not a JPEG file"},
        {"empty", {}, "Empty input file"},
    };
    for (const auto& C : Cases) {
        for (const int Limit : {100, 2000}) {
            SCOPED_TRACE(std::string(C.What) + " limit " + std::to_string(Limit));
            const auto File = Dir / "bad.jpg";
            test::WriteFileBytes(File, C.Data);
            fs::path ImagePath = File;
            try {
                PrepareCoverImage(ImagePath, Limit, Limit, 70, ExeDir);
                ADD_FAILURE() << "no exception";
            } catch (const EJpegError& E) {
                const std::string Message = E.what();
                EXPECT_NE(Message.find(C.MessagePart), std::string::npos) << Message;
                EXPECT_NE(Message.find("bad.jpg"), std::string::npos) << Message;
            }
            EXPECT_EQ(ImagePath, File);
            EXPECT_FALSE(fs::exists(ExeDir / "temp.jpg"));
            EXPECT_THROW(DecodeJpegFile(File), EJpegError);
        }
    }
}

TEST_F(PrepareCoverImageTest, MissingPictureOrUnwritableFolderRaise) {
    fs::path Missing = Dir / "gone.jpg";
    EXPECT_THROW(PrepareCoverImage(Missing, 500, 500, 70, ExeDir), std::system_error);
    EXPECT_EQ(Missing, Dir / "gone.jpg");

    fs::path Folder = Dir / "covers";
    fs::create_directory(Folder);
    try {
        PrepareCoverImage(Folder, 500, 500, 70, ExeDir);
        ADD_FAILURE() << "a folder was taken for a picture";
    } catch (const std::system_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file " + (Dir / "covers").string(), 0), 0u) << e.what();
    }

    fs::path ImagePath = MakePicture("big.jpg", 1600, 1200);
    const fs::path Original = ImagePath;
    EXPECT_THROW(PrepareCoverImage(ImagePath, 500, 500, 70, Dir / "no-such-folder"), std::system_error);
    EXPECT_EQ(ImagePath, Original);
}

}  // namespace
}  // namespace covrilo

// ---- skipping the rows nearest-neighbour sampling never takes ------------------------------

namespace covrilo {
namespace {

using namespace test;

// A JPEG in one of the layouts cameras and editors write: chroma subsampled by HxV (1x1
// is 4:4:4), grayscale, or progressive. Content with detail everywhere, so that a row decoded
// from the wrong context would show.
std::vector<uint8_t> EncodeLayout(int Width, int Height, int H, int V, bool Gray, bool Progressive) {
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(Width);
    info.image_height = static_cast<JDIMENSION>(Height);
    info.input_components = Gray ? 1 : 3;
    info.in_color_space = Gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    if (!Gray) {
        info.comp_info[0].h_samp_factor = H;
        info.comp_info[0].v_samp_factor = V;
    }
    if (Progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(Width) * static_cast<size_t>(info.input_components));
    uint32_t noise = 12345;
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (size_t i = 0; i < row.size(); ++i) {
            noise = noise * 1103515245u + 12345u;
            row[i] = static_cast<uint8_t>(((static_cast<int>(i) * 7 + y * 3) & 0xFF) ^ ((noise >> 24) & 0x3F));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

}  // namespace

TEST(CoverImage, SkippingUnsampledRowsGivesTheSameBytes) {
    struct TLayout {
        const char* name;
        int h, v;
        bool gray, progressive;
    } layouts[] = {{"4:2:0", 2, 2, false, false}, {"4:2:2", 2, 1, false, false}, {"4:4:4", 1, 1, false, false},
                   {"4:4:0", 1, 2, false, false}, {"grayscale", 1, 1, true, false}, {"progressive 4:2:0", 2, 2, false, true}};
    struct TSize {
        int w, h, maxW, maxH;
    } sizes[] = {{1601, 1203, 500, 500}, {1203, 1601, 500, 500}, {999, 17, 20, 20}, {17, 999, 20, 20},
                 {1000, 7, 500, 500},    {640, 481, 640, 479},   {1024, 768, 640, 300}, {801, 603, 799, 800},
                 {64, 2000, 20, 9999},   {4000, 3000, 500, 500}};
    for (const TLayout& layout : layouts) {
        for (const TSize& size : sizes) {
            // The camera-sized picture once, in the layout cameras write.
            if (size.w == 4000 && &layout != &layouts[0]) continue;
            SCOPED_TRACE(std::string(layout.name) + " " + std::to_string(size.w) + "x" + std::to_string(size.h) +
                         " into " + std::to_string(size.maxW) + "x" + std::to_string(size.maxH));
            const auto jpeg = EncodeLayout(size.w, size.h, layout.h, layout.v, layout.gray, layout.progressive);
            const auto decoded = ScaleJpeg(jpeg, "test.jpg", size.maxW, size.maxH, 70, false);
            const auto skipped = ScaleJpeg(jpeg, "test.jpg", size.maxW, size.maxH, 70, true);
            ASSERT_FALSE(decoded.Scaled.empty());
            ASSERT_FALSE(skipped.Scaled.empty());
            EXPECT_TRUE(decoded.Scaled == skipped.Scaled) << "the skipping decode gives other bytes";
        }
    }
    // The pictures of other writers (RGB, grey, CMYK, progressive) too.
    for (const char* name : {"rgb.jpg", "gray.jpg", "cmyk.jpg", "prog.jpg"}) {
        SCOPED_TRACE(name);
        const auto bytes = ReadFileBytes(SourceDir() / "fuzz/corpus/coverimage" / name);
        for (const int limit : {1, 3, 7, 20}) {
            const auto decoded = ScaleJpeg(bytes, name, limit, limit, 70, false);
            const auto skipped = ScaleJpeg(bytes, name, limit, limit, 70, true);
            EXPECT_TRUE(decoded.Scaled == skipped.Scaled) << "limit " << limit;
        }
    }
}

}  // namespace covrilo
