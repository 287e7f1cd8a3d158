// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "InteropUtil.h"
#include "Sha256.h"

namespace covrilo::test {
namespace {

TEST(Sha256, KnownDigests) {
    struct Case {
        std::string Input;
        const char* Digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    for (const auto& c : cases) EXPECT_EQ(Sha256Hex(c.Input), c.Digest) << '"' << c.Input << '"';
}

// Lengths around the 64-byte block and the 56-byte padding limit, against coreutils.
TEST(Sha256, AgreesWithSha256sumAtBlockBoundaries) {
    if (!HaveTool("sha256sum")) GTEST_SKIP() << "missing: sha256sum";
    TempDir dir;
    for (size_t size : {1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
        Bytes data(size);
        for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
        WriteFileBytes(dir / "data", data);
        CommandResult r = RunCommand("sha256sum " + ShellQuote((dir / "data").string()));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        EXPECT_EQ(Sha256Hex(data), r.Output.substr(0, 64)) << "size " << size;
    }
}

}  // namespace
}  // namespace covrilo::test
