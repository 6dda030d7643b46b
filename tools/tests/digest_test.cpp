#include <gtest/gtest.h>

#include <cstring>

#include "digest.h"

namespace {

StreamDigest DigestOf(const char* text)
{
    StreamDigest d;
    d.Update(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
    return d;
}

TEST(Digest, MatchesPublishedFnv1a64Vectors)
{
    EXPECT_EQ(0xCBF29CE484222325ull, DigestOf("").Value());
    EXPECT_EQ(0xAF63DC4C8601EC8Cull, DigestOf("a").Value());
    EXPECT_EQ(0x85944171F73967E8ull, DigestOf("foobar").Value());
}

TEST(Digest, PiecesGiveTheSameDigestAsTheWhole)
{
    const uint8_t text[] = "the same bytes, cut differently";
    const size_t size = sizeof text - 1;
    StreamDigest whole;
    whole.Update(text, size);
    StreamDigest pieces;
    pieces.Update(text, 5);
    pieces.Update(text + 5, 0);
    pieces.Update(text + 5, size - 5);
    EXPECT_EQ(whole.Value(), pieces.Value());
    EXPECT_EQ(size, pieces.Bytes());
}

TEST(Digest, LineCarriesHashAndCountInFixedForm)
{
    EXPECT_EQ("digest fnv1a64=85944171f73967e8 bytes=6", FormatDigestLine(DigestOf("foobar")));
    EXPECT_EQ("digest fnv1a64=cbf29ce484222325 bytes=0", FormatDigestLine(StreamDigest()));
}

} // namespace
