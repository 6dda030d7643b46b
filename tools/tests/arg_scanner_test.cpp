#include <gtest/gtest.h>

#include "arg_scanner.h"
#include "numbers.h"

namespace {

const std::vector<OptionRule> RULES = {{"out", true}, {"copy", false}};

ScanResult Scan(const std::vector<std::string>& args) { return ScanArguments(args, RULES); }

TEST(ArgScanner, SpaceAndEqualsFormsGiveTheSameValue)
{
    const ScanResult spaced = Scan({"--out", "a.ts", "--copy"});
    const ScanResult joined = Scan({"--out=a.ts", "--copy"});
    for (const ScanResult* r : {&spaced, &joined}) {
        ASSERT_EQ("", r->error);
        ASSERT_EQ(2u, r->options.size());
        EXPECT_EQ("out", r->options[0].name);
        EXPECT_EQ("a.ts", r->options[0].value);
        EXPECT_EQ("copy", r->options[1].name);
    }
}

TEST(ArgScanner, ValueAfterEqualsIsTakenWhole)
{
    const ScanResult r = Scan({"--out=a=b", "--out="});
    ASSERT_EQ("", r.error);
    EXPECT_EQ("a=b", r.options[0].value);
    EXPECT_EQ("", r.options[1].value);
}

TEST(ArgScanner, NextArgumentIsTheValueEvenIfItLooksLikeAnOption)
{
    const ScanResult r = Scan({"--out", "--copy"});
    ASSERT_EQ("", r.error);
    ASSERT_EQ(1u, r.options.size());
    EXPECT_EQ("--copy", r.options[0].value);
}

TEST(ArgScanner, MalformedLinesAreRefusedWithTheReason)
{
    EXPECT_NE(std::string::npos, Scan({"--bogus"}).error.find("unknown option '--bogus'"));
    EXPECT_NE(std::string::npos, Scan({"--bogus=1"}).error.find("unknown option '--bogus'"));
    EXPECT_NE(std::string::npos, Scan({"--copy=yes"}).error.find("takes no value"));
    EXPECT_NE(std::string::npos, Scan({"--copy", "--out"}).error.find("needs a value"));
    EXPECT_NE(std::string::npos, Scan({"file.ts"}).error.find("unexpected argument 'file.ts'"));
    EXPECT_NE(std::string::npos, Scan({"-o"}).error.find("unexpected argument"));
    EXPECT_NE(std::string::npos, Scan({"--", "x"}).error.find("unexpected argument 'x'"));
}

TEST(ArgScanner, ShortHelpStandsForHelpOnlyWhereThereIsOne)
{
    const std::vector<OptionRule> withHelp = {{"help", false}, {"out", true}};
    const ScanResult r = ScanArguments({"-h"}, withHelp);
    ASSERT_EQ("", r.error);
    ASSERT_EQ(1u, r.options.size());
    EXPECT_EQ("help", r.options[0].name);
    const ScanResult value = ScanArguments({"--out", "-h"}, withHelp);
    ASSERT_EQ(1u, value.options.size());
    EXPECT_EQ("-h", value.options[0].value) << "a value is never an option";
    EXPECT_NE("", ScanArguments({"-h"}, {{"out", true}}).error);
}

TEST(ArgScanner, DoubleDashEndsTheOptions)
{
    const ScanResult r = Scan({"--copy", "--"});
    EXPECT_EQ("", r.error);
    EXPECT_EQ(1u, r.options.size());
}

TEST(Numbers, UnsignedTakesOnlyDigitsWithinItsRange)
{
    uint64_t v = 77;
    EXPECT_TRUE(ParseUnsigned("9", 0, 9, &v));
    EXPECT_EQ(9u, v);
    EXPECT_TRUE(ParseUnsigned("18446744073709551615", 0, UINT64_MAX, &v));
    EXPECT_EQ(UINT64_MAX, v);
    v = 77;
    for (const char* bad : {"", "10", "-1", "+1", " 1", "1x", "0x10"})
        EXPECT_FALSE(ParseUnsigned(bad, 0, 9, &v)) << bad;
    EXPECT_FALSE(ParseUnsigned("18446744073709551616", 0, UINT64_MAX, &v));
    EXPECT_EQ(77u, v) << "a refused number must not be stored";
}

TEST(Numbers, ByteCountSuffixesArePowersOf1024)
{
    uint64_t v = 0;
    EXPECT_TRUE(ParseByteCount("3K", 1, UINT64_MAX, &v));
    EXPECT_EQ(3072u, v);
    EXPECT_TRUE(ParseByteCount("256M", 1, UINT64_MAX, &v));
    EXPECT_EQ(256ull << 20, v);
    EXPECT_TRUE(ParseByteCount("2g", 1, UINT64_MAX, &v));
    EXPECT_EQ(2ull << 30, v);
    EXPECT_TRUE(ParseByteCount("1316", 1, UINT64_MAX, &v));
    EXPECT_EQ(1316u, v);
    EXPECT_FALSE(ParseByteCount("2M", 1, 1u << 20, &v)) << "the range applies after the suffix";
    EXPECT_FALSE(ParseByteCount("17179869184G", 1, UINT64_MAX, &v)) << "overflow by the suffix";
    EXPECT_FALSE(ParseByteCount("M", 1, UINT64_MAX, &v));
    EXPECT_FALSE(ParseByteCount("0", 1, UINT64_MAX, &v));
    EXPECT_FALSE(ParseByteCount("1KB", 1, UINT64_MAX, &v));
}

TEST(Numbers, RangeTextsUseTheLargestExactSuffixAndParseBack)
{
    EXPECT_EQ("1M", ByteCountText(1u << 20));
    EXPECT_EQ("1048576G", ByteCountText(1ull << 50));
    EXPECT_EQ("1025K", ByteCountText(1025u << 10));
    EXPECT_EQ("1316", ByteCountText(1316));
    EXPECT_EQ("0", ByteCountText(0));
    EXPECT_EQ("100G", BitRateText(100000000000ull));
    EXPECT_EQ("1500K", BitRateText(1500000));
    EXPECT_EQ("1024", BitRateText(1024)) << "bit rates are decimal";
    EXPECT_EQ("3600", SecondsText(3600.0));
    EXPECT_EQ("0.5", SecondsText(0.5));
    uint64_t v = 0;
    ASSERT_TRUE(ParseByteCount(ByteCountText(1ull << 50), 1, UINT64_MAX, &v));
    EXPECT_EQ(1ull << 50, v);
    ASSERT_TRUE(ParseBitRate(BitRateText(100000000000ull), 1, UINT64_MAX, &v));
    EXPECT_EQ(100000000000ull, v);
}

TEST(Numbers, SecondsArePositiveDecimals)
{
    double v = -1.0;
    EXPECT_TRUE(ParseSeconds("0.5", 10.0, &v));
    EXPECT_DOUBLE_EQ(0.5, v);
    EXPECT_TRUE(ParseSeconds("10", 10.0, &v));
    for (const char* bad : {"", "0", "0.0", "-1", "1e3", "abc", "1.2.3", "11", " 1"})
        EXPECT_FALSE(ParseSeconds(bad, 10.0, &v)) << bad;
}

} // namespace
