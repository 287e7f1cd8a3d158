// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "AppTestUtil.h"
#include "app/CoverImage.h"

namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(CoverImage, ScaledSizes) {
    struct Case {
        int W, H, MaxW, MaxH;
        std::optional<TScaledSize> Expected;
    };
    const Case cases[] = {
        {1600, 1200, 500, 500, TScaledSize{500, 375}},
        {1200, 1600, 500, 500, TScaledSize{375, 500}},
        {1200, 1200, 600, 300, TScaledSize{300, 300}},  // the tighter limit wins
        {1000, 5, 500, 500, TScaledSize{500, 2}},       // 2.5 rounds to even
        {1000, 7, 500, 500, TScaledSize{500, 4}},       // 3.5 rounds to even
        {501, 500, 500, 500, TScaledSize{500, 499}},
        {10000, 10, 20, 20, TScaledSize{20, 1}},  // 0.02 would be no row at all
        {400, 300, 500, 500, std::nullopt},
        {500, 400, 500, 500, std::nullopt},  // exactly at the limit
        {20, 20, 20, 20, std::nullopt},
        {1, 1, 20, 20, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComputeScaledSize(c.W, c.H, c.MaxW, c.MaxH), c.Expected) << c.W << "x" << c.H;
    }
    EXPECT_THROW(ComputeScaledSize(100, 100, 0, 20), std::invalid_argument);
    EXPECT_THROW(ComputeScaledSize(0, 100, 20, 20), std::invalid_argument);
}

TEST(CoverImage, NearestNeighbourMap) {
    struct Case {
        int Source, Dest;
        std::vector<uint32_t> Expected;
    };
    const Case cases[] = {
        {4, 2, {0, 2}},
        {5, 2, {0, 2}},
        {3, 3, {0, 1, 2}},
        {7, 1, {3}},  // a single pixel takes the middle
        {8, 1, {3}},
        // 20 / 6 in single precision lies just below 10 / 3, so 3 * ratio truncates to 9.
        {20, 6, {0, 3, 6, 9, 13, 16}},
        {1600, 5, {0, 320, 640, 960, 1280}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NearestNeighbourMap(c.Source, c.Dest), c.Expected) << c.Source << "->" << c.Dest;
}

std::array<int, 3> PixelAt(const TRgbImage& Image, int X, int Y) {
    const size_t i = (static_cast<size_t>(Y) * static_cast<size_t>(Image.Width) + static_cast<size_t>(X)) * 3;
    return {Image.Pixels[i], Image.Pixels[i + 1], Image.Pixels[i + 2]};
}

void ExpectNear(const std::array<int, 3>& Actual, const std::array<int, 3>& Expected,
                const std::string& Where) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(Actual[c], Expected[c], 40) << Where << " channel " << c;
}

// Samples the middle of each quadrant of a decoded quadrant picture.
void ExpectQuadrants(const TRgbImage& Image, const std::array<std::array<int, 3>, 4>& Colours) {
    const int qx[] = {Image.Width / 4, Image.Width * 3 / 4};
    const int qy[] = {Image.Height / 4, Image.Height * 3 / 4};
    ExpectNear(PixelAt(Image, qx[0], qy[0]), Colours[0], "top left");
    ExpectNear(PixelAt(Image, qx[1], qy[0]), Colours[1], "top right");
    ExpectNear(PixelAt(Image, qx[0], qy[1]), Colours[2], "bottom left");
    ExpectNear(PixelAt(Image, qx[1], qy[1]), Colours[3], "bottom right");
}

const std::array<std::array<int, 3>, 4> kColourQuadrants = {
    {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}}};

class PrepareCoverImageTest : public testing::Test {
   protected:
    void SetUp() override {
        if (!test::HavePillow()) GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed";
        fs::create_directory(exeDir_);
    }
    fs::path MakePicture(const std::string& Name, int W, int H, const std::string& Mode = "RGB",
                         bool Progressive = false) {
        const auto file = dir_ / Name;
        const auto r = test::MakeQuadrantJpeg(file, W, H, Mode, Progressive);
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        return file;
    }
    TempDir dir_;
    fs::path exeDir_ = dir_ / "exe";
};

TEST_F(PrepareCoverImageTest, LargePictureIsScaledIntoTempJpeg) {
    fs::path imagePath = MakePicture("big.jpg", 1600, 1200);
    ASSERT_TRUE(PrepareCoverImage(imagePath, 500, 500, 70, exeDir_));
    EXPECT_EQ(imagePath, exeDir_ / "temp.jpg");

    const auto image = DecodeJpegFile(imagePath);
    EXPECT_EQ(image.Width, 500);
    EXPECT_EQ(image.Height, 375);
    ExpectQuadrants(image, kColourQuadrants);

    // Read back by an independent decoder: baseline, JFIF, three components, quality 70
    // (the luminance DC step of the standard table at 70 is 10).
    const auto described = test::DescribeJpeg(imagePath);
    ASSERT_EQ(described.ExitCode, 0) << described.Output;
    EXPECT_EQ(described.Output, "500x375 RGB progressive=0 jfif=1 dc=10");
    const auto bytes = test::ReadFileBytes(imagePath);
    ASSERT_GE(bytes.size(), 11u);
    EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 11), std::string("JFIF\0", 5));
}

TEST_F(PrepareCoverImageTest, PictureWithinLimitsIsLeftAlone) {
    struct Case {
        int W, H;
    };
    for (const Case c : {Case{400, 300}, Case{500, 400}, Case{500, 500}}) {
        fs::path imagePath = MakePicture("small.jpg", c.W, c.H);
        const fs::path original = imagePath;
        EXPECT_FALSE(PrepareCoverImage(imagePath, 500, 500, 70, exeDir_)) << c.W << "x" << c.H;
        EXPECT_EQ(imagePath, original);
        EXPECT_FALSE(fs::exists(exeDir_ / "temp.jpg"));
    }
}

TEST_F(PrepareCoverImageTest, OddShapesAndColourModels) {
    struct Case {
        const char* Mode;
        bool Progressive;
        int W, H, MaxW, MaxH, OutW, OutH;
        bool CheckColours;
    };
    const Case cases[] = {
        {"RGB", false, 1200, 1600, 500, 500, 375, 500, true},
        {"RGB", false, 1000, 5, 500, 500, 500, 2, false},
        {"RGB", false, 1000, 7, 500, 500, 500, 4, false},
        {"RGB", false, 10000, 10, 20, 20, 20, 1, false},
        {"RGB", true, 800, 800, 100, 100, 100, 100, true},
        {"L", false, 800, 600, 400, 400, 400, 300, false},
        {"CMYK", false, 800, 600, 400, 400, 400, 300, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Mode) + " " + std::to_string(c.W) + "x" + std::to_string(c.H));
        fs::path imagePath = MakePicture("in.jpg", c.W, c.H, c.Mode, c.Progressive);
        ASSERT_TRUE(PrepareCoverImage(imagePath, c.MaxW, c.MaxH, 90, exeDir_));
        const auto image = DecodeJpegFile(imagePath);
        EXPECT_EQ(image.Width, c.OutW);
        EXPECT_EQ(image.Height, c.OutH);
        if (c.CheckColours) ExpectQuadrants(image, kColourQuadrants);
        const auto described = test::DescribeJpeg(imagePath);
        EXPECT_EQ(described.Output, std::to_string(c.OutW) + "x" + std::to_string(c.OutH) +
                                        " RGB progressive=0 jfif=1 dc=" + std::string("3"));
    }
}

TEST_F(PrepareCoverImageTest, GrayscaleStaysGreyInColour) {
    fs::path imagePath = MakePicture("gray.jpg", 800, 600, "L");
    ASSERT_TRUE(PrepareCoverImage(imagePath, 400, 400, 90, exeDir_));
    const auto image = DecodeJpegFile(imagePath);
    // Luma of red, green, blue and white.
    ExpectQuadrants(image, {{{76, 76, 76}, {150, 150, 150}, {29, 29, 29}, {255, 255, 255}}});
}

TEST_F(PrepareCoverImageTest, QualityChoosesTheQuantisationTables) {
    struct Case {
        int Quality;
        int LumaDc;
    };
    for (const Case c : {Case{1, 255}, Case{50, 16}, Case{70, 10}, Case{100, 1}}) {
        fs::path imagePath = MakePicture("q.jpg", 600, 600);
        ASSERT_TRUE(PrepareCoverImage(imagePath, 300, 300, c.Quality, exeDir_));
        const auto described = test::DescribeJpeg(imagePath);
        EXPECT_EQ(described.Output, "300x300 RGB progressive=0 jfif=1 dc=" + std::to_string(c.LumaDc))
            << c.Quality;
    }
}

TEST_F(PrepareCoverImageTest, SecondRunStartsFromTheScaledCopy) {
    fs::path imagePath = MakePicture("big.jpg", 1600, 1200);
    ASSERT_TRUE(PrepareCoverImage(imagePath, 500, 500, 70, exeDir_));
    EXPECT_FALSE(PrepareCoverImage(imagePath, 1000, 1000, 70, exeDir_));  // never enlarged
    EXPECT_EQ(imagePath, exeDir_ / "temp.jpg");
    ASSERT_TRUE(PrepareCoverImage(imagePath, 200, 200, 70, exeDir_));  // reads and replaces temp.jpg
    EXPECT_EQ(imagePath, exeDir_ / "temp.jpg");
    const auto image = DecodeJpegFile(imagePath);
    EXPECT_EQ(image.Width, 200);
    EXPECT_EQ(image.Height, 150);
    ExpectQuadrants(image, kColourQuadrants);
}

TEST_F(PrepareCoverImageTest, PrepareCoverWorksInMemoryAndTakesAnyJpeg) {
    // CMYK: libjpeg writes an Adobe segment first, no JFIF one.
    const fs::path adobe = MakePicture("adobe.jpg", 300, 200, "CMYK");
    const auto head = test::ReadFileBytes(adobe);
    ASSERT_EQ(head.at(3), 0xEE);
    const TPreparedCover asItIs = PrepareCover(adobe, 500, 500, 70);
    EXPECT_TRUE(asItIs.Scaled.empty());
    EXPECT_EQ(std::vector<int>({asItIs.SourceWidth, asItIs.SourceHeight, asItIs.Width, asItIs.Height}),
              std::vector<int>({300, 200, 300, 200}));
    EXPECT_EQ(asItIs.Bytes, static_cast<int64_t>(fs::file_size(adobe)));

    const TPreparedCover scaled = PrepareCover(adobe, 150, 150, 70);
    EXPECT_EQ(std::vector<int>({scaled.Width, scaled.Height}), std::vector<int>({150, 100}));
    EXPECT_EQ(scaled.Bytes, static_cast<int64_t>(scaled.Scaled.size()));
    test::WriteFileBytes(dir_ / "scaled.jpg", scaled.Scaled);
    EXPECT_EQ(DecodeJpegFile(dir_ / "scaled.jpg").Width, 150);
    EXPECT_FALSE(fs::exists(exeDir_ / "temp.jpg")) << "PrepareCover writes nothing";

    // What the picture frame would not take is refused, though libjpeg would decode it.
    test::Bytes stray = test::ReadFileBytes(MakePicture("good.jpg", 64, 64));
    stray.insert(stray.begin() + 2, 0x00);
    test::WriteFileBytes(dir_ / "stray.jpg", stray);
    try {
        PrepareCover(dir_ / "stray.jpg", 500, 500, 70);
        ADD_FAILURE() << "no exception";
    } catch (const EJpegError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Not a JPEG file: it does not start with a JPEG start-of-image marker, FF D8 FF (" +
                      (dir_ / "stray.jpg").string() + ")");
    }
}

// Damaged pictures raise with libjpeg's message, on the scaling path and on the path
// that keeps the file, and leave ImagePath and the data directory untouched.
TEST_F(PrepareCoverImageTest, DamagedPicturesRaiseWithAMessage) {
    const auto good = test::ReadFileBytes(MakePicture("good.jpg", 800, 600));
    struct Case {
        const char* What;
        test::Bytes Data;
        const char* MessagePart;
    };
    test::Bytes truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    test::Bytes headerOnly(good.begin(), good.begin() + 200);
    test::Bytes corrupt = good;
    for (size_t i = good.size() / 2; i < good.size() / 2 + 64; ++i) corrupt[i] = 0xFF;
    // A header claiming 65496 x 57374 pixels: refused before libjpeg allocates for it.
    test::Bytes huge = good;
    for (size_t i = 2; i + 9 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            const uint8_t size[] = {0xE0, 0x1E, 0xFF, 0xD8};  // height, width
            std::copy(std::begin(size), std::end(size), huge.begin() + static_cast<long>(i) + 5);
            break;
        }
    ASSERT_NE(huge, good) << "no SOF0 marker";
    const Case cases[] = {
        {"forged size", huge, "Picture too large: 65496 x 57374 pixels"},
        {"truncated", truncated, "Premature end of JPEG file"},
        {"headers only", headerOnly, ""},
        {"corrupt data", corrupt, "Corrupt JPEG data"},
        {"not a JPEG", test::ToBytes("GIF89a not a jpeg at all"), "Not a JPEG file"},
        {"empty", {}, "Empty input file"},
    };
    for (const auto& c : cases) {
        for (const int limit : {100, 2000}) {
            SCOPED_TRACE(std::string(c.What) + " limit " + std::to_string(limit));
            const auto file = dir_ / "bad.jpg";
            test::WriteFileBytes(file, c.Data);
            fs::path imagePath = file;
            try {
                PrepareCoverImage(imagePath, limit, limit, 70, exeDir_);
                ADD_FAILURE() << "no exception";
            } catch (const EJpegError& e) {
                const std::string message = e.what();
                EXPECT_NE(message.find(c.MessagePart), std::string::npos) << message;
                EXPECT_NE(message.find("bad.jpg"), std::string::npos) << message;
            }
            EXPECT_EQ(imagePath, file);
            EXPECT_FALSE(fs::exists(exeDir_ / "temp.jpg"));
            EXPECT_THROW(DecodeJpegFile(file), EJpegError);
        }
    }
}

TEST_F(PrepareCoverImageTest, MissingPictureOrUnwritableFolderRaise) {
    fs::path missing = dir_ / "gone.jpg";
    EXPECT_THROW(PrepareCoverImage(missing, 500, 500, 70, exeDir_), std::system_error);
    EXPECT_EQ(missing, dir_ / "gone.jpg");

    fs::path folder = dir_ / "covers";
    fs::create_directory(folder);
    try {
        PrepareCoverImage(folder, 500, 500, 70, exeDir_);
        ADD_FAILURE() << "a folder was taken for a picture";
    } catch (const std::system_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file " + (dir_ / "covers").string(), 0), 0u)
            << e.what();
    }

    fs::path imagePath = MakePicture("big.jpg", 1600, 1200);
    const fs::path original = imagePath;
    EXPECT_THROW(PrepareCoverImage(imagePath, 500, 500, 70, dir_ / "no-such-folder"), std::system_error);
    EXPECT_EQ(imagePath, original);
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
            row[i] =
                static_cast<uint8_t>(((static_cast<int>(i) * 7 + y * 3) & 0xFF) ^ ((noise >> 24) & 0x3F));
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
        const char* Name;
        int H, V;
        bool Gray, Progressive;
    } layouts[] = {{"4:2:0", 2, 2, false, false},    {"4:2:2", 2, 1, false, false},
                   {"4:4:4", 1, 1, false, false},    {"4:4:0", 1, 2, false, false},
                   {"grayscale", 1, 1, true, false}, {"progressive 4:2:0", 2, 2, false, true}};
    struct TSize {
        int W, H, MaxW, MaxH;
    } sizes[] = {{1601, 1203, 500, 500}, {1203, 1601, 500, 500}, {999, 17, 20, 20},     {17, 999, 20, 20},
                 {1000, 7, 500, 500},    {640, 481, 640, 479},   {1024, 768, 640, 300}, {801, 603, 799, 800},
                 {64, 2000, 20, 9999},   {4000, 3000, 500, 500}};
    for (const TLayout& layout : layouts) {
        for (const TSize& size : sizes) {
            // The camera-sized picture once, in the layout cameras write.
            if (size.W == 4000 && &layout != &layouts[0]) continue;
            SCOPED_TRACE(std::string(layout.Name) + " " + std::to_string(size.W) + "x" +
                         std::to_string(size.H) + " into " + std::to_string(size.MaxW) + "x" +
                         std::to_string(size.MaxH));
            const auto jpeg =
                EncodeLayout(size.W, size.H, layout.H, layout.V, layout.Gray, layout.Progressive);
            const auto decoded = ScaleJpeg(jpeg, "test.jpg", size.MaxW, size.MaxH, 70, false);
            const auto skipped = ScaleJpeg(jpeg, "test.jpg", size.MaxW, size.MaxH, 70, true);
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
