// A loaded driver with one open channel, torn down after each test.
#pragma once
#include <gtest/gtest.h>
#include "debug_capture.h"
#include "driver_module.h"

class OpenChannelTest : public ::testing::Test {
public:
    static constexpr DWORD CHANNEL = 0;

protected:
    void SetUp() override
    {
        ASSERT_TRUE(module.Load()) << "the driver DLL did not load";
        tuner = module.Create();
        ASSERT_NE(tuner, nullptr);
        if (SelectsInSetUp()) {
            ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
        }
    }
    void TearDown() override { module.Unload(); }
    virtual bool SelectsInSetUp() const { return true; }

    DebugCapture capture;
    DriverModule module;
    IBonDriver2* tuner = nullptr;
};
