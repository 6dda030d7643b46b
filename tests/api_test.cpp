// The tuner object through the interface, without a writer: creation, names,
// refused input, and the stream operations of a closed tuner.
#include <gtest/gtest.h>
#include <cwchar>
#include "driver_module.h"
#include "debug_capture.h"

namespace {

BYTE* const DATA_SENTINEL = reinterpret_cast<BYTE*>(0xDEADBEEF);
constexpr DWORD SIZE_SENTINEL = 0xDEADBEEF;
constexpr DWORD WAIT_ABANDONED_RESULT = 128;
const wchar_t TUNER_NAME[] = L"UDP/Compat";

class TunerApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(module.Load()) << "the driver DLL did not load";
        tuner = module.Create();
        ASSERT_NE(tuner, nullptr);
    }
    DriverModule module;
    IBonDriver2* tuner = nullptr;
};

TEST_F(TunerApi, CreateReturnsTheSameObjectUntilReleasedThenAFreshClosedOne)
{
    auto create = reinterpret_cast<CreateBonDriverProc>(
        reinterpret_cast<void*>(GetProcAddress(module.Handle(), CREATE_BON_DRIVER_EXPORT)));
    EXPECT_EQ(create(), static_cast<IBonDriver*>(tuner));
    ASSERT_TRUE(tuner->SelectChannel(0, 2));
    module.Release();
    tuner = module.Create();
    ASSERT_NE(tuner, nullptr);
    EXPECT_EQ(tuner->QueryCurrentChannel(), NO_CHANNEL);
    EXPECT_EQ(tuner->QueryCurrentSpace(), 0u);
    EXPECT_FALSE(PipeExists(2)) << "releasing the object must close its channel";
}

TEST_F(TunerApi, NamesOfTunerSpaceAndChannels)
{
    EXPECT_STREQ(tuner->QueryTunerName(), TUNER_NAME);
    EXPECT_EQ(tuner->EnumSpace(0), tuner->QueryTunerName()) << "the space name is the tuner name itself";
    EXPECT_EQ(tuner->EnumSpace(1), nullptr);
    EXPECT_EQ(tuner->EnumSpace(0xFFFFFFFF), nullptr);
    EXPECT_STREQ(tuner->EnumChannel(0, 0), L"Pipe\x756A\x53F7 0");
    EXPECT_STREQ(tuner->EnumChannel(0, 9), L"Pipe\x756A\x53F7 9");
    EXPECT_EQ(tuner->EnumChannel(0, 10), nullptr);
    EXPECT_EQ(tuner->EnumChannel(1, 0), nullptr);
    EXPECT_EQ(tuner->EnumChannel(0xFFFFFFFF, 0xFFFFFFFF), nullptr);
}

TEST_F(TunerApi, ChannelNamesShareOneBufferOverwrittenByTheNextCall)
{
    LPCWSTR first = tuner->EnumChannel(0, 3);
    LPCWSTR second = tuner->EnumChannel(0, 7);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, L"Pipe\x756A\x53F7 7");
    tuner->EnumChannel(0, 10);
    EXPECT_STREQ(first, L"Pipe\x756A\x53F7 7") << "a refused call must not touch the buffer";
}

TEST_F(TunerApi, SimpleOperationsAnswerTheSameWithAndWithoutAChannel)
{
    for (int open = 0; open < 2; ++open) {
        SCOPED_TRACE(open ? "channel open" : "closed");
        if (open) {
            ASSERT_TRUE(tuner->SelectChannel(0, 1));
        }
        EXPECT_TRUE(tuner->OpenTuner());
        EXPECT_EQ(tuner->QuerySignalLevel(), 0.0f);
        EXPECT_EQ(tuner->QueryCurrentChannel(), open ? 1u : NO_CHANNEL);
    }
    tuner->CloseTuner();
}

TEST_F(TunerApi, ChannelCodesMapThirteenOnToChannelsAndRefuseTheRest)
{
    EXPECT_TRUE(tuner->SetChannelCode(13));
    EXPECT_EQ(tuner->QueryCurrentChannel(), 0u);
    EXPECT_TRUE(tuner->SetChannelCode(22));
    EXPECT_EQ(tuner->QueryCurrentChannel(), 9u);
    for (BYTE refused : {BYTE(0), BYTE(12), BYTE(23), BYTE(255)}) {
        SCOPED_TRACE(refused);
        EXPECT_FALSE(tuner->SetChannelCode(refused));
        EXPECT_EQ(tuner->QueryCurrentChannel(), 9u) << "a refused code must leave the channel open";
    }
    EXPECT_TRUE(PipeExists(9));
    tuner->CloseTuner();
}

TEST_F(TunerApi, InUseOnlyWhileAChannelIsOpen)
{
    EXPECT_FALSE(tuner->IsTunerInUse());
    ASSERT_TRUE(tuner->SelectChannel(0, 4));
    EXPECT_TRUE(tuner->IsTunerInUse());
    EXPECT_TRUE(InUseMutexExists());
    tuner->CloseTuner();
    EXPECT_FALSE(tuner->IsTunerInUse());
    EXPECT_FALSE(InUseMutexExists());
}

TEST_F(TunerApi, ClosedTunerRefusesTakesAndWritesNothing)
{
    BYTE* data = DATA_SENTINEL;
    DWORD size = SIZE_SENTINEL, remaining = SIZE_SENTINEL;
    EXPECT_FALSE(tuner->TakeStream(&data, &size, &remaining));
    EXPECT_EQ(data, DATA_SENTINEL);
    EXPECT_EQ(size, SIZE_SENTINEL);
    EXPECT_EQ(remaining, SIZE_SENTINEL);
    BYTE buffer[4] = {1, 2, 3, 4};
    EXPECT_FALSE(tuner->CopyStream(buffer, &size, &remaining));
    EXPECT_EQ(size, SIZE_SENTINEL);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(tuner->QueryReadyCount(), 0u);
    tuner->PurgeStream();
    EXPECT_EQ(tuner->QueryReadyCount(), 0u);
}

TEST_F(TunerApi, WaitOnAClosedTunerIsAbandonedAtOnceEvenWithoutTimeLimit)
{
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(tuner->WaitStream(0), WAIT_ABANDONED_RESULT);
    EXPECT_EQ(tuner->WaitStream(1000), WAIT_ABANDONED_RESULT);
    EXPECT_LT(GetTickCount64() - start, 500u) << "a closed tuner must not wait";
}

TEST_F(TunerApi, CloseOnAClosedTunerIsHarmlessAndSilent)
{
    DebugCapture capture;
    tuner->CloseTuner();
    tuner->CloseTuner();
    EXPECT_EQ(tuner->QueryCurrentChannel(), NO_CHANNEL);
    EXPECT_TRUE(capture.Lines().empty()) << capture.Joined();
}

TEST_F(TunerApi, RefusedSelectionChangesNothing)
{
    DebugCapture capture;
    EXPECT_FALSE(tuner->SelectChannel(0, 10));
    EXPECT_FALSE(tuner->SelectChannel(1, 0));
    EXPECT_EQ(tuner->QueryCurrentChannel(), NO_CHANNEL);
    ASSERT_TRUE(tuner->SelectChannel(0, 6));
    EXPECT_FALSE(tuner->SelectChannel(0, 0xFFFFFFFF));
    EXPECT_FALSE(tuner->SelectChannel(1, 6));
    EXPECT_EQ(tuner->QueryCurrentChannel(), 6u);
    EXPECT_EQ(tuner->QueryCurrentSpace(), 0u);
    EXPECT_TRUE(PipeExists(6));
    EXPECT_TRUE(capture.Lines().empty()) << capture.Joined();
    tuner->CloseTuner();
}

}  // namespace
