// SPDX-License-Identifier: MIT
#include "formats/DIMime.h"

#include "io/EnhancedStreams.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace covrilo {
namespace {

std::span<const uint8_t> AsBytes(std::string_view Text) {
    return {reinterpret_cast<const uint8_t*>(Text.data()), Text.size()};
}

// RFC 4648 section 10 test vectors, plus bytes that use the last two alphabet letters.
TEST(DIMime, KnownVectors) {
    struct Case { std::string Plain; const char* Encoded; };
    const Case Cases[] = {
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
    for (const auto& C : Cases) {
        EXPECT_EQ(MimeEncodeString(AsBytes(C.Plain)), C.Encoded) << C.Encoded;
        std::string Back;
        ASSERT_TRUE(MimeDecodeString(C.Encoded, Back)) << C.Encoded;
        EXPECT_EQ(Back, C.Plain);
    }
}

std::vector<uint8_t> RandomBytes(size_t Size, unsigned Seed) {
    std::mt19937 Gen(Seed);
    std::vector<uint8_t> Out(Size);
    for (auto& B : Out) B = static_cast<uint8_t>(Gen());
    return Out;
}

// Block boundaries: the streamed text must equal the one-piece text, with no padding
// anywhere but at the very end, and have 4 * ceil(n / 3) characters.
TEST(DIMime, StreamedBlocksMatchOnePieceEncoding) {
    EXPECT_EQ(MimeEncodedSize(MIME_BUFFER_SIZE), MIME_BUFFER_SIZE_ENCODED);
    const size_t Sizes[] = {0, 1, 2, 3, 2735, 2736, 2737, 2738, 2 * 2736, 2 * 2736 + 1, 3 * 2736 + 2, 100000};
    for (const size_t Size : Sizes) {
        const auto Data = RandomBytes(Size, static_cast<unsigned>(Size));
        TMemoryStream Stream(Data);
        const std::string Streamed = MimeEncodeStream(Stream);
        EXPECT_EQ(Streamed.size(), (Size + 2) / 3 * 4) << Size;
        EXPECT_EQ(Streamed, MimeEncodeString(Data)) << Size;
        const size_t FirstPad = Streamed.find('=');
        if (FirstPad != std::string::npos) {
            EXPECT_GE(FirstPad, Streamed.size() - 2) << Size;
        }
        std::string Back;
        ASSERT_TRUE(MimeDecodeString(Streamed, Back));
        EXPECT_EQ(Back, std::string(Data.begin(), Data.end())) << Size;
    }
}

TEST(DIMime, StreamStartsAtCurrentPosition) {
    TMemoryStream Stream(std::vector<uint8_t>{'x', 'f', 'o', 'o'});
    Stream.SetPosition(1);
    EXPECT_EQ(MimeEncodeStream(Stream), "Zm9v");
}

// A stream that hands out at most a few bytes per Read must still give full blocks.
class TTrickleStream : public TMemoryStream {
public:
    using TMemoryStream::TMemoryStream;
    int64_t Read(void* Buffer, int64_t Count) override { return TMemoryStream::Read(Buffer, std::min<int64_t>(Count, 7)); }
};

TEST(DIMime, ShortReadsDoNotSplitBlocks) {
    const auto Data = RandomBytes(3 * 2736 + 5, 9);
    TTrickleStream Stream(Data);
    EXPECT_EQ(MimeEncodeStream(Stream), MimeEncodeString(Data));
}

TEST(DIMime, DecodeRejectsMalformedText) {
    const char* Bad[] = {"A", "Zg=", "Zm9v!", "Zg==Zg==", "Z===", "Zm 9v", "Zm9\n"};
    for (const char* Text : Bad) {
        std::string Out;
        EXPECT_FALSE(MimeDecodeString(Text, Out)) << Text;
    }
}

// Peer check: Python's base64 module agrees on a file's encoding.
TEST(DIMime, AgreesWithPythonBase64) {
    if (!test::HaveTool("/usr/bin/python3")) GTEST_SKIP() << "/usr/bin/python3 not installed";
    test::TempDir Dir;
    const auto Data = RandomBytes(5000, 3);
    test::WriteFileBytes(Dir / "in.bin", Data);
    const auto R = test::RunCommand("/usr/bin/python3 -c 'import base64,sys; sys.stdout.write(base64.b64encode(open(sys.argv[1],\"rb\").read()).decode())' " +
                                    test::ShellQuote((Dir / "in.bin").string()));
    ASSERT_EQ(R.exitCode, 0) << R.output;
    EXPECT_EQ(R.output, MimeEncodeString(Data));
}

}  // namespace
}  // namespace covrilo
