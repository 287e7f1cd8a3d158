// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats/DIMime.h"
#include "io/EnhancedStreams.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

std::span<const uint8_t> AsBytes(std::string_view Text) {
    return {reinterpret_cast<const uint8_t*>(Text.data()), Text.size()};
}

// RFC 4648 section 10 test vectors, plus bytes that use the last two alphabet letters.
TEST(DIMime, KnownVectors) {
    struct Case {
        std::string Plain;
        const char* Encoded;
    };
    const Case cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xfb\xff\xbf", 3), "+/+/"},
        {std::string("\0\0\0", 3), "AAAA"},
        {std::string("\xff", 1), "/w=="},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MimeEncodeString(AsBytes(c.Plain)), c.Encoded) << c.Encoded;
        std::string back;
        ASSERT_TRUE(MimeDecodeString(c.Encoded, back)) << c.Encoded;
        EXPECT_EQ(back, c.Plain);
    }
}

std::vector<uint8_t> RandomBytes(size_t Size, unsigned Seed) {
    std::mt19937 gen(Seed);
    std::vector<uint8_t> out(Size);
    for (auto& b : out) b = static_cast<uint8_t>(gen());
    return out;
}

// Block boundaries: the streamed text must equal the one-piece text, with no padding
// anywhere but at the very end, and have 4 * ceil(n / 3) characters.
TEST(DIMime, StreamedBlocksMatchOnePieceEncoding) {
    EXPECT_EQ(MimeEncodedSize(MIME_BUFFER_SIZE), MIME_BUFFER_SIZE_ENCODED);
    const size_t sizes[] = {0, 1, 2, 3, 2735, 2736, 2737, 2738, 2 * 2736, 2 * 2736 + 1, 3 * 2736 + 2, 100000};
    for (const size_t size : sizes) {
        const auto data = RandomBytes(size, static_cast<unsigned>(size));
        TMemoryStream stream(data);
        const std::string streamed = MimeEncodeStream(stream);
        EXPECT_EQ(streamed.size(), (size + 2) / 3 * 4) << size;
        EXPECT_EQ(streamed, MimeEncodeString(data)) << size;
        const size_t firstPad = streamed.find('=');
        if (firstPad != std::string::npos) {
            EXPECT_GE(firstPad, streamed.size() - 2) << size;
        }
        std::string back;
        ASSERT_TRUE(MimeDecodeString(streamed, back));
        EXPECT_EQ(back, std::string(data.begin(), data.end())) << size;
    }
}

TEST(DIMime, StreamStartsAtCurrentPosition) {
    TMemoryStream stream(std::vector<uint8_t>{'x', 'f', 'o', 'o'});
    stream.SetPosition(1);
    EXPECT_EQ(MimeEncodeStream(stream), "Zm9v");
}

// A stream that hands out at most a few bytes per Read must still give full blocks.
class TTrickleStream : public TMemoryStream {
   public:
    using TMemoryStream::TMemoryStream;
    int64_t Read(void* Buffer, int64_t Count) override {
        return TMemoryStream::Read(Buffer, std::min<int64_t>(Count, 7));
    }
};

TEST(DIMime, ShortReadsDoNotSplitBlocks) {
    const auto data = RandomBytes(3 * 2736 + 5, 9);
    TTrickleStream stream(data);
    EXPECT_EQ(MimeEncodeStream(stream), MimeEncodeString(data));
}

TEST(DIMime, DecodeRejectsMalformedText) {
    const char* bad[] = {"A", "Zg=", "Zm9v!", "Zg==Zg==", "Z===", "Zm 9v", "Zm9\n"};
    for (const char* text : bad) {
        std::string out;
        EXPECT_FALSE(MimeDecodeString(text, out)) << text;
    }
}

// Peer check: Python's base64 module agrees on a file's encoding.
TEST(DIMime, AgreesWithPythonBase64) {
    if (!test::HaveTool("/usr/bin/python3")) GTEST_SKIP() << "/usr/bin/python3 not installed";
    test::TempDir dir;
    const auto data = RandomBytes(5000, 3);
    test::WriteFileBytes(dir / "in.bin", data);
    const auto r = test::RunCommand(
        "/usr/bin/python3 -c 'import base64,sys; "
        "sys.stdout.write(base64.b64encode(open(sys.argv[1],\"rb\").read()).decode())' " +
        test::ShellQuote((dir / "in.bin").string()));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(r.Output, MimeEncodeString(data));
}

}  // namespace
}  // namespace covrilo
