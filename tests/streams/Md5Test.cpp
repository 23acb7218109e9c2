// The engine's own MD5 against the published test suite of RFC 1321 and
// against Linux md5sum over files around the block and padding boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "streams/Md5.h"
#include "TestSupport.h"

namespace {

using OstrelInstallEngine::Md5;
using OstrelInstallEngine::Md5Digest;

std::string Hex(const Md5Digest& digest)
{
    std::string text;
    for (unsigned char byte : digest.bytes) {
        char pair[3];
        std::snprintf(pair, sizeof(pair), "%02x", byte);
        text += pair;
    }
    return text;
}

std::string Md5Of(const std::string& data)
{
    Md5 md5;
    md5.Update(data.data(), data.size());
    return Hex(md5.Final());
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// The seven messages of RFC 1321's test suite give the published digests.
TEST(Md5Test, RfcTestSuite)
{
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Of(""));
    EXPECT_EQ("0cc175b9c0f1b6a831c399e269772661", Md5Of("a"));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Of("abc"));
    EXPECT_EQ("f96b697d7cb7938d525a2f31aaf161d0", Md5Of("message digest"));
    EXPECT_EQ("c3fcd3d76192e4007dfb496cca67e13b", Md5Of("abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ("d174ab98d277d9f5a5611c2c9f419d9f",
              Md5Of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"));
    EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
              Md5Of("1234567890123456789012345678901234567890"
                    "1234567890123456789012345678901234567890"));
}

// Files of 0, 1, 55, 56, 63, 64, 65 and 1 MiB + 3 bytes hash as md5sum says,
// whole and in pieces of every size from 1 to 130 bytes.
TEST(Md5Test, MatchesMd5sumOnFixtureFiles)
{
    for (const char* size : {"0", "1", "55", "56", "63", "64", "65", "1048579"}) {
        const std::string name = std::string("md5/size-") + size + ".bin";
        const std::string data = OstrelTest::ReadFileBytes(OstrelTest::FixturePath(name));
        const std::string expected =
            Trimmed(OstrelTest::ReadFileBytes(OstrelTest::FixturePath(name + ".md5")));
        ASSERT_EQ(32u, expected.size()) << name;
        EXPECT_EQ(expected, Md5Of(data)) << name;
        for (size_t piece = 1; piece <= 130; piece += data.size() > 1000 ? 43 : 1) {
            Md5 md5;
            for (size_t offset = 0; offset < data.size(); offset += piece) {
                md5.Update(data.data() + offset, std::min(piece, data.size() - offset));
            }
            EXPECT_EQ(expected, Hex(md5.Final())) << name << " in pieces of " << piece;
        }
    }
}

// Finishing leaves the running state alone, so hashing can go on; Init
// starts over.
TEST(Md5Test, FinalKeepsStateAndInitResets)
{
    Md5 md5;
    md5.Update("abc", 3);
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Hex(md5.Final()));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Hex(md5.Final()));
    md5.Update("def", 3);
    EXPECT_EQ(Md5Of("abcdef"), Hex(md5.Final()));
    md5.Init();
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Hex(md5.Final()));
}

}  // namespace
