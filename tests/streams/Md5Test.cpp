// The engine's own MD5 against the published test suite of RFC 1321 and
// against Linux md5sum over files around the block and padding boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "StreamTestHelpers.h"
#include "TestSupport.h"
#include "streams/Md5.h"

namespace {

using OstrelInstallEngine::Md5;
using OstrelTest::Hex;

std::string Md5Of(const std::string& data)
{
    Md5 md5;
    md5.Update(data.data(), data.size());
    return Hex(md5.Final().bytes);
}

// The seven messages of RFC 1321's test suite give the published digests.
TEST(Md5Test, RfcTestSuite)
{
    const std::string digits = "1234567890";
    const std::pair<std::string, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {digits + digits + digits + digits + digits + digits + digits + digits,
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, Md5Of(c.first)) << c.first;
    }
}

// Files of 0, 1, 55, 56, 63, 64, 65 and 1 MiB + 3 bytes hash as md5sum says,
// whole and in pieces of every size from 1 to 130 bytes.
TEST(Md5Test, MatchesMd5sumOnFixtureFiles)
{
    for (const char* size : {"0", "1", "55", "56", "63", "64", "65", "1048579"}) {
        const std::string name = std::string("md5/size-") + size + ".bin";
        const std::string data = OstrelTest::ReadFileBytes(OstrelTest::FixturePath(name));
        const std::string expected =
            OstrelTest::ReadFileBytes(OstrelTest::FixturePath(name + ".md5")).substr(0, 32);
        EXPECT_EQ(expected, Md5Of(data)) << name;
        for (size_t piece = 1; piece <= 130; piece += data.size() > 1000 ? 43 : 1) {
            Md5 md5;
            for (size_t offset = 0; offset < data.size(); offset += piece) {
                md5.Update(data.data() + offset, std::min(piece, data.size() - offset));
            }
            EXPECT_EQ(expected, Hex(md5.Final().bytes)) << name << " in pieces of " << piece;
        }
    }
}

// Finishing leaves the running state alone, so hashing can go on; Init
// starts over.
TEST(Md5Test, FinalKeepsStateAndInitResets)
{
    Md5 md5;
    md5.Update("abc", 3);
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Hex(md5.Final().bytes));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Hex(md5.Final().bytes));
    md5.Update("def", 3);
    EXPECT_EQ(Md5Of("abcdef"), Hex(md5.Final().bytes));
    md5.Init();
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Hex(md5.Final().bytes));
}

}  // namespace
