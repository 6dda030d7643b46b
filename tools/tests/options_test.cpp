#include <gtest/gtest.h>

#include "host_options.h"
#include "pipe_connect.h"
#include "tuner_session.h"
#include "writer_options.h"

namespace {

const uint32_t SENTINEL_CHANNEL = 0xDEADBEEF;

TEST(HostOptions, DefaultsDrainChannelZeroForeverWithTakeStream)
{
    HostOptions o;
    o.channel = SENTINEL_CHANNEL;
    ASSERT_EQ(ParseOutcome::RUN, ParseHostOptions({}, &o).kind);
    EXPECT_EQ(0u, o.channel);
    EXPECT_EQ("", o.dllPath);
    EXPECT_EQ("", o.outPath);
    EXPECT_FALSE(o.copy);
    EXPECT_FALSE(o.untilGone);
    EXPECT_EQ(0u, o.bytes);
    EXPECT_EQ(0.0, o.seconds);
}

// A process loads only a DLL of its own bitness; the 64-bit one carries "(x64)".
TEST(HostOptions, DefaultDriverIsTheOneOfTheHostsBitnessBesideIt)
{
    const bool is64 = sizeof(void*) == 8;
    const std::wstring name = is64 ? L"\\Zelmoor(x64).dll" : L"\\Zelmoor.dll";
    const std::wstring path = DefaultDriverPath();
    ASSERT_GT(path.size(), name.size());
    EXPECT_EQ(name, path.substr(path.size() - name.size()));
    const std::string help = HostHelpText();
    EXPECT_NE(std::string::npos, help.find(is64 ? "default: Zelmoor(x64).dll" : "default: Zelmoor.dll")) << help;
}

TEST(HostOptions, EveryOptionIsRead)
{
    HostOptions o;
    ASSERT_EQ(ParseOutcome::RUN,
              ParseHostOptions({"--dll=x.dll", "--channel", "12", "--copy", "--out", "o.ts",
                                "--bytes=4M", "--seconds", "2.5", "--until-gone"}, &o).kind);
    EXPECT_EQ("x.dll", o.dllPath);
    EXPECT_EQ(12u, o.channel) << "the driver, not the host, decides which channels exist";
    EXPECT_TRUE(o.copy);
    EXPECT_EQ("o.ts", o.outPath);
    EXPECT_EQ(4u << 20, o.bytes);
    EXPECT_DOUBLE_EQ(2.5, o.seconds);
    EXPECT_TRUE(o.untilGone);
}

TEST(HostOptions, HelpWinsOverEverythingElse)
{
    HostOptions o;
    EXPECT_EQ(ParseOutcome::HELP, ParseHostOptions({"--channel", "3", "--help"}, &o).kind);
    EXPECT_EQ(ParseOutcome::USAGE_ERROR, ParseHostOptions({"--help", "--nope"}, &o).kind)
        << "a malformed line is refused before anything runs";
}

TEST(HostOptions, BadValuesAreUsageErrorsThatChangeNothing)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--channel", "x"}, {"--channel", "4294967295"}, {"--bytes", "0"}, {"--seconds", "0"},
        {"--out="}, {"--dll="}, {"--copy=1"}, {"--channel"}, {"extra"},
    };
    for (const auto& args : bad) {
        HostOptions o;
        o.channel = SENTINEL_CHANNEL;
        const ParseOutcome outcome = ParseHostOptions(args, &o);
        EXPECT_EQ(ParseOutcome::USAGE_ERROR, outcome.kind) << args[0];
        EXPECT_FALSE(outcome.message.empty()) << args[0];
        EXPECT_EQ(SENTINEL_CHANNEL, o.channel) << args[0];
    }
}

TEST(HostOptions, TheWaitForTheFirstDataBelongsToUntilGone)
{
    HostOptions o;
    ASSERT_EQ(ParseOutcome::RUN, ParseHostOptions({"--until-gone"}, &o).kind);
    EXPECT_DOUBLE_EQ(HOST_WAIT_SECONDS_DEFAULT, o.waitSeconds);
    ASSERT_EQ(ParseOutcome::RUN, ParseHostOptions({"--until-gone", "--wait-seconds", "2.5"}, &o).kind);
    EXPECT_DOUBLE_EQ(2.5, o.waitSeconds);
    const ParseOutcome alone = ParseHostOptions({"--wait-seconds", "2"}, &o);
    EXPECT_EQ(ParseOutcome::USAGE_ERROR, alone.kind);
    EXPECT_NE(std::string::npos, alone.message.find("--until-gone")) << alone.message;
}

// A refused value names what would have been taken, so the user need not guess.
TEST(ToolOptions, RefusedValuesNameTheirRange)
{
    struct Case {
        bool host;
        std::vector<std::string> args;
        const char* range;
    };
    const std::vector<Case> cases = {
        {true,  {"--channel", "x"},                          "from 0 to 4294967294"},
        {true,  {"--bytes", "0"},                            "from 1 to 1048576G"},
        {true,  {"--seconds", "700000"},                     "at most 604800"},
        {true,  {"--until-gone", "--wait-seconds", "0"},     "above 0 and at most 604800"},
        {false, {"--bytes", "1", "--channel", "10"},         "from 0 to 9"},
        {false, {"--bytes", "0"},                            "from 1 byte to 1048576G"},
        {false, {"--bytes", "1", "--write-size", "2M"},      "from 1 byte to 1M"},
        {false, {"--bytes", "1", "--pid", "8192"},           "from 0 to 8191"},
        {false, {"--bytes", "1", "--rate", "101G"},          "from 1 to 100G"},
        {false, {"--bytes", "1", "--wait-seconds", "86400"}, "at most 3600"},
        {false, {"--bytes", "1", "--seed", "-1"},            "from 0 to 18446744073709551615"},
    };
    for (const Case& c : cases) {
        HostOptions host;
        WriterOptions writer;
        const ParseOutcome outcome = c.host ? ParseHostOptions(c.args, &host) : ParseWriterOptions(c.args, &writer);
        EXPECT_EQ(ParseOutcome::USAGE_ERROR, outcome.kind) << c.args.back();
        EXPECT_NE(std::string::npos, outcome.message.find(c.range)) << outcome.message;
    }
}

TEST(WriterOptions, RatesTakeDecimalSuffixesAndADashIsStandardInput)
{
    WriterOptions o;
    ASSERT_EQ(ParseOutcome::RUN, ParseWriterOptions({"--file", "-", "--rate", "2M"}, &o).kind);
    EXPECT_EQ(2000000u, o.rateBitsPerSecond);
    EXPECT_EQ(SourceKind::STDIN, o.source);
    EXPECT_EQ(ParseOutcome::RUN, ParseWriterOptions({"--file", "-", "--stdin"}, &o).kind)
        << "both name standard input";
    EXPECT_EQ(ParseOutcome::HELP, ParseWriterOptions({"-h"}, &o).kind);
    HostOptions h;
    EXPECT_EQ(ParseOutcome::HELP, ParseHostOptions({"-h"}, &h).kind);
}

TEST(WriterOptions, GeneratedStreamDefaults)
{
    WriterOptions o;
    ASSERT_EQ(ParseOutcome::RUN, ParseWriterOptions({"--bytes", "256M"}, &o).kind);
    EXPECT_EQ(SourceKind::GENERATED, o.source);
    EXPECT_EQ(256ull << 20, o.bytes);
    EXPECT_EQ(0u, o.channel);
    EXPECT_EQ(1316u, o.writeSize);
    EXPECT_EQ(0u, o.randomMax);
    EXPECT_EQ(0u, o.rateBitsPerSecond);
    EXPECT_DOUBLE_EQ(10.0, o.waitSeconds);
}

TEST(WriterOptions, EveryOptionIsRead)
{
    WriterOptions o;
    ASSERT_EQ(ParseOutcome::RUN,
              ParseWriterOptions({"--channel=9", "--file", "in.ts", "--seed", "7", "--pid", "8191",
                                  "--rate", "20000000", "--random-min", "1", "--random-max=64K",
                                  "--wait-seconds", "0.5"}, &o).kind);
    EXPECT_EQ(9u, o.channel);
    EXPECT_EQ(SourceKind::FILE, o.source);
    EXPECT_EQ("in.ts", o.filePath);
    EXPECT_EQ(7u, o.seed);
    EXPECT_EQ(8191u, o.pid);
    EXPECT_EQ(20000000u, o.rateBitsPerSecond);
    EXPECT_EQ(1u, o.randomMin);
    EXPECT_EQ(65536u, o.randomMax);
    EXPECT_DOUBLE_EQ(0.5, o.waitSeconds);
}

TEST(WriterOptions, ExactlyOneSourceAndConsistentSizes)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--channel", "1"},
        {"--stdin", "--bytes", "1"},
        {"--file", "a", "--stdin"},
        {"--bytes", "1", "--random-min", "5"},
        {"--bytes", "1", "--random-max", "5"},
        {"--bytes", "1", "--random-min", "6", "--random-max", "5"},
        {"--bytes", "1", "--write-size", "10", "--random-min", "1", "--random-max", "5"},
        {"--bytes", "1", "--write-size", "0"},
        {"--bytes", "1", "--write-size", "2M"},
        {"--bytes", "1", "--channel", "10"},
        {"--bytes", "1", "--pid", "8192"},
        {"--bytes", "1", "--rate", "0"},
        {"--bytes", "1", "--wait-seconds", "-1"},
        {"--bytes", "1", "--stdin=yes"},
    };
    for (const auto& args : bad) {
        WriterOptions o;
        o.channel = SENTINEL_CHANNEL;
        const ParseOutcome outcome = ParseWriterOptions(args, &o);
        const std::string line = args.empty() ? "(none)" : args.back();
        EXPECT_EQ(ParseOutcome::USAGE_ERROR, outcome.kind) << line;
        EXPECT_FALSE(outcome.message.empty()) << line;
        EXPECT_EQ(SENTINEL_CHANNEL, o.channel) << line;
    }
    WriterOptions o;
    EXPECT_EQ(ParseOutcome::RUN, ParseWriterOptions({"--stdin", "--stdin"}, &o).kind)
        << "repeating the same source is harmless";
}

TEST(WriterOptions, PipeNameHasTheChannelInTwoDigits)
{
    EXPECT_EQ(L"\\\\.\\pipe\\Zelmoor00", PipeNameForChannel(0));
    EXPECT_EQ(L"\\\\.\\pipe\\Zelmoor09", PipeNameForChannel(9));
}

} // namespace
