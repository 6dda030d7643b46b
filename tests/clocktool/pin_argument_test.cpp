#include "pin_argument.h"

#include <gtest/gtest.h>

namespace {

bool PinsFor(const char* szFirst)
{
    const char* argv[] = {"Ostrel.exe", szFirst, nullptr};
    return WantsPinning(2, argv);
}

} // namespace

TEST(PinArgument, OnlyTheFirstTwoCharactersOfTheFirstArgumentCount)
{
    EXPECT_TRUE(PinsFor("-a"));
    EXPECT_TRUE(PinsFor("-abc"));
    EXPECT_FALSE(PinsFor("-b"));
    EXPECT_FALSE(PinsFor("-"));
    EXPECT_FALSE(PinsFor("a"));
    EXPECT_FALSE(PinsFor("-A"));
    EXPECT_FALSE(PinsFor(""));
}

TEST(PinArgument, NoArgumentOrALaterOneDoesNotPin)
{
    const char* argvNone[] = {"Ostrel.exe", nullptr};
    EXPECT_FALSE(WantsPinning(1, argvNone));
    const char* argvLater[] = {"Ostrel.exe", "x", "-a", nullptr};
    EXPECT_FALSE(WantsPinning(3, argvLater));
}
