// A loaded driver, warmed up so that a census taken afterwards counts only what
// the test itself leaves behind.
#pragma once
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "census.h"
#include "debug_capture.h"
#include "driver_module.h"

constexpr DWORD WAIT_ABANDONED_RESULT = 128;
// A closed tuner answers a wait at once; a wait this long that runs out, or half of it,
// is a hang, whatever a loaded machine does to this thread.
constexpr DWORD CLOSED_WAIT_MS = 5000;
extern const char PUSH_FORCED_LINE[];
extern const char POP_FORCED_LINE[];

std::string ErrorStepLine(DWORD step);
std::vector<std::string> LinesOf(std::initializer_list<const char*> lines);

// Selects `channel`, streams a little through it from a writer in this process.
::testing::AssertionResult SelectAndStream(IBonDriver2* tuner, DWORD channel, uint64_t seed);
// The tuner is closed: no channel, no pipe, no mutex, no stream.
::testing::AssertionResult IsClosed(IBonDriver2* tuner, DWORD channel);
// The census comes back to `before` within the time a thread takes to vanish.
::testing::AssertionResult ComesBackTo(const Census& before);

class FailureTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { module.Unload(); }

    DriverModule module;
    IBonDriver2* tuner = nullptr;
    Census before = {};
    DebugCapture capture;
};
