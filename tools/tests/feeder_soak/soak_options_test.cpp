// The soak's command line and the peers' ports.
#include <gtest/gtest.h>

#include "soak_options.h"
#include "soak_peer_link.h"

namespace {

const std::vector<std::string> NEEDED = {"--peers", "control=1 udp=2 rtp=3 tcp=4 http=5", "--run-id", "zsoak-1"};

std::vector<std::string> With(std::vector<std::string> more)
{
    more.insert(more.begin(), NEEDED.begin(), NEEDED.end());
    return more;
}

} // namespace

TEST(SoakOptions, BoundedByDefault)
{
    SoakOptions options;
    std::string error;
    ASSERT_EQ(ParseSoakOptions(NEEDED, &options, &error), SoakParse::RUN) << error;
    EXPECT_DOUBLE_EQ(options.seconds, SOAK_BOUNDED_SECONDS);
    EXPECT_FALSE(options.seedGiven);
    EXPECT_EQ(options.onlyFault, -1);
}

TEST(SoakOptions, MinutesSeedAndFault)
{
    SoakOptions options;
    std::string error;
    ASSERT_EQ(ParseSoakOptions(With({"--minutes", "35", "--seed", "42", "--fault", "host-kill", "--feeder", "C:\\f.exe"}),
                               &options, &error),
              SoakParse::RUN) << error;
    EXPECT_DOUBLE_EQ(options.seconds, 35 * 60.0);
    EXPECT_TRUE(options.seedGiven);
    EXPECT_EQ(options.seed, 42u);
    EXPECT_EQ(options.onlyFault, 4);
    EXPECT_EQ(options.feeder, "C:\\f.exe");
}

TEST(SoakOptions, RefusalsNameTheRange)
{
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--seconds", "10"}, {"--minutes", "x"}, {"--seed", "-1"}, {"--fault", "meteor"}, {"--seconds"},
             {"--colour", "red"}}) {
        SoakOptions options;
        std::string error;
        EXPECT_EQ(ParseSoakOptions(With(bad), &options, &error), SoakParse::USAGE_ERROR) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    SoakOptions options;
    std::string error;
    ParseSoakOptions(With({"--seconds", "10"}), &options, &error);
    EXPECT_NE(error.find("60 s to 7 days"), std::string::npos) << error;
}

TEST(SoakOptions, PeersAndRunIdAreNeeded)
{
    SoakOptions options;
    std::string error;
    EXPECT_EQ(ParseSoakOptions({"--seconds", "100"}, &options, &error), SoakParse::USAGE_ERROR);
    EXPECT_EQ(ParseSoakOptions({"-h"}, &options, &error), SoakParse::HELP);
}

TEST(SoakPeerPorts, EveryPeerMustBeNamed)
{
    std::map<std::string, uint16_t> ports;
    ASSERT_TRUE(ParsePeerPorts("control=40000 udp=40001 rtp=40002 tcp=40003 http=40004", &ports));
    EXPECT_EQ(ports["http"], 40004);
    std::map<std::string, uint16_t> missing;
    EXPECT_FALSE(ParsePeerPorts("control=1 udp=2 rtp=3 tcp=4", &missing));
    std::map<std::string, uint16_t> bad;
    EXPECT_FALSE(ParsePeerPorts("control=1 udp=2 rtp=3 tcp=4 http=70000", &bad));
    EXPECT_FALSE(ParsePeerPorts("control=1 udp=x rtp=3 tcp=4 http=5", &bad));
}
