// The feeder's command line and map file: what is accepted, and every kind of
// bad input refused with its reason and its place.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

#include "feeder_options.h"

namespace {

struct Refusal {
    std::vector<std::string>    args;
    const char*                 reason;     // part of the message
};

std::string Parse(const std::vector<std::string>& args, FeederOptions* options = nullptr, bool* unreadable = nullptr)
{
    FeederOptions scratch;
    bool flag = false;
    const ParseOutcome outcome = ParseFeederOptions(args, options ? options : &scratch, unreadable ? unreadable : &flag);
    return outcome.kind == ParseOutcome::USAGE_ERROR ? outcome.message : "";
}

std::string TempMapFile(const std::string& text)
{
    char dir[MAX_PATH + 1];
    char path[MAX_PATH + 1];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "zfm", 0, path);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(FeederOptions, EveryKindOfBadArgumentIsRefusedWithItsReasonAndPlace)
{
    const Refusal refusals[] = {
        {{"3"}, "argument 1 '3': missing '='"},
        {{"10=file:a.ts"}, "channel '10' is out of range (0 to 9)"},
        {{"x=file:a.ts"}, "channel 'x' is out of range"},
        {{"=file:a.ts"}, "channel '' is out of range"},
        {{"-1=file:a.ts"}, "unknown option '-1=file:a.ts'"},
        {{"3=ftp://host/a.ts"}, "unknown kind of source 'ftp://host/a.ts' (known: file:, udp://"},
        {{"3=a.ts"}, "unknown kind of source"},
        {{"3=file:"}, "no path after file:"},
        {{"3=file:?loop"}, "no path after file:"},
        {{"3=file:a.ts?pace=slow"}, "pace takes none or pcr, not 'slow'"},
        {{"3=file:a.ts?rate=fast"}, "rate needs bits per second from 1K to 10G"},
        {{"3=file:a.ts?rate=0"}, "rate needs"},
        {{"3=file:a.ts?rate=2M&pace=none"}, "give only one of pace= and rate="},
        {{"3=file:a.ts?loop=yes"}, "loop takes no value"},
        {{"3=file:a.ts?speed=2"}, "unknown option 'speed' (file: takes pace=none, rate=BITS and loop)"},
        {{"3=cmd:"}, "no command line after cmd:"},
        {{"3=cmd:   "}, "no command line after cmd:"},
        {{"1=file:a.ts", "3=file:b.ts", "3=cmd:x.exe"}, "argument 3: channel 3 is mapped a second time (first in argument 2)"},
        {{}, "no channel to feed"},
        {{"--map"}, "--map needs a file name"},
        {{"3=file:a.ts", "--seconds", "0"}, "--seconds needs a number of seconds above 0"},
        {{"3=file:a.ts", "--seconds=soon"}, "--seconds needs"},
        {{"--verbose", "3=file:a.ts"}, "unknown option '--verbose'"},
    };
    for (const Refusal& refusal : refusals) {
        const std::string message = Parse(refusal.args);
        EXPECT_NE(message.find(refusal.reason), std::string::npos)
            << "arguments starting '" << (refusal.args.empty() ? "" : refusal.args[0])
            << "' gave '" << message << "', wanted '" << refusal.reason << "'";
    }
}

TEST(FeederOptions, MappingsKeepTheSourceAsWrittenInChannelOrder)
{
    FeederOptions options;
    ASSERT_EQ(Parse({"5=cmd:prog.exe --what? a&b", "3=file:C:\\rec\\news.ts?loop&rate=8M", "--seconds", "2.5"},
                    &options), "");
    ASSERT_EQ(options.mappings.size(), 2u);
    EXPECT_EQ(options.mappings[0].channel, 3u);
    EXPECT_EQ(options.mappings[0].source->Text(), "file:C:\\rec\\news.ts?loop&rate=8M");
    EXPECT_EQ(options.mappings[1].channel, 5u);
    EXPECT_EQ(options.mappings[1].source->Text(), "cmd:prog.exe --what? a&b");
    EXPECT_DOUBLE_EQ(options.seconds, 2.5);
    bool unreadable = false;
    EXPECT_EQ(ParseFeederOptions({"3=file:a.ts", "-h"}, &options, &unreadable).kind, ParseOutcome::HELP);
}

TEST(FeederMapFile, CommentsBlankLinesAndSpacesAreAllowedAndBadLinesNamed)
{
    const std::string good = TempMapFile("\xEF\xBB\xBF# news and radio\r\n\r\n  3 = file:news.ts?loop  \r\n"
                                         "\t# off for now: 4=udp://239.1.1.1:1234\n0=cmd:prog.exe\n");
    FeederOptions options;
    ASSERT_EQ(Parse({"--map", good, "7=file:x.ts"}, &options), "");
    ASSERT_EQ(options.mappings.size(), 3u);
    EXPECT_EQ(options.mappings[0].channel, 0u);
    EXPECT_EQ(options.mappings[1].source->Text(), "file:news.ts?loop");
    EXPECT_EQ(options.mappings[2].channel, 7u);
    DeleteFileA(good.c_str());

    const std::string bad = TempMapFile("# one\n3=file:a.ts\n\n3 file:b.ts\n");
    EXPECT_NE(Parse({"--map=" + bad}).find(bad + " line 4: missing '='"), std::string::npos) << Parse({"--map", bad});
    DeleteFileA(bad.c_str());

    const std::string repeated = TempMapFile("3=file:a.ts\n5=file:b.ts\n");
    EXPECT_NE(Parse({"5=cmd:x.exe", "--map", repeated}).find(repeated + " line 2: channel 5 is mapped a second time"
                                                              " (first in argument 1)"), std::string::npos);
    DeleteFileA(repeated.c_str());
}

TEST(FeederMapFile, ADashReadsTheMapFromStandardInputToItsEnd)
{
    HANDLE readEnd = NULL, writeEnd = NULL;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, NULL, 0));
    const char text[] = "# from a script\n2=file:a.ts\n";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writeEnd, text, sizeof text - 1, &written, NULL));
    CloseHandle(writeEnd);      // the end of the map: a closed pipe, not an empty read
    const HANDLE saved = GetStdHandle(STD_INPUT_HANDLE);
    SetStdHandle(STD_INPUT_HANDLE, readEnd);
    FeederOptions options;
    const std::string message = Parse({"--map", "-"}, &options);
    SetStdHandle(STD_INPUT_HANDLE, saved);
    CloseHandle(readEnd);
    ASSERT_EQ(message, "");
    ASSERT_EQ(options.mappings.size(), 1u);
    EXPECT_EQ(options.mappings[0].channel, 2u);
    EXPECT_EQ(options.mappings[0].origin, "standard input line 2");
}

TEST(FeederMapFile, AMissingMapFileIsReportedWithTheSystemsReason)
{
    bool unreadable = false;
    const std::string message = Parse({"--map", "no-such-map.txt"}, nullptr, &unreadable);
    EXPECT_TRUE(unreadable);
    EXPECT_NE(message.find("cannot read the map file no-such-map.txt (error 2: "), std::string::npos) << message;
}

} // namespace
