// SelectChannel ends with a purge: blocks that became ready while it was still
// opening (the workers already run when the in-use mutex is made) never reach
// the host. The mutex's creation is held back on the test's cue meanwhile.
#include <gtest/gtest.h>
#include <memory>
#include "block_sink.h"
#include "iat_patch.h"
#include "pipe_writer.h"
#include "tuner_fixture.h"
#include "wait_until.h"

namespace {

constexpr DWORD EARLY_BYTES = 1000;
constexpr DWORD LATE_BYTES = 1000;
constexpr uint64_t EARLY_SEED = 51;
constexpr uint64_t LATE_SEED = 52;
constexpr DWORD SELECT_DONE_MS = 10000;

struct HeldOpen {
    static HANDLE reached;
    static HANDLE go;
    static LONG readySignals;
    static decltype(&CreateMutexW) createMutex;
    static decltype(&SetEvent) setEvent;

    static HANDLE WINAPI CreateMutex(LPSECURITY_ATTRIBUTES sa, BOOL owned, LPCWSTR name)
    {
        SetEvent(reached);
        WaitForSingleObject(go, SELECT_DONE_MS);
        return createMutex(sa, owned, name);
    }
    // The driver signals only its ready event, once per collected block.
    static BOOL WINAPI Signal(HANDLE event)
    {
        InterlockedIncrement(&readySignals);
        return setEvent(event);
    }
};
HANDLE HeldOpen::reached = NULL;
HANDLE HeldOpen::go = NULL;
LONG HeldOpen::readySignals = 0;
decltype(&CreateMutexW) HeldOpen::createMutex = nullptr;
decltype(&SetEvent) HeldOpen::setEvent = nullptr;

struct Selection {
    IBonDriver2* tuner;
    BOOL result;
};

DWORD WINAPI SelectOnThread(LPVOID param)
{
    Selection* selection = static_cast<Selection*>(param);
    selection->result = selection->tuner->SelectChannel(0, OpenChannelTest::CHANNEL);
    return 0;
}

class SelectPurge : public OpenChannelTest {
protected:
    bool SelectsInSetUp() const override { return false; }
    void SetUp() override
    {
        OpenChannelTest::SetUp();
        HeldOpen::reached = CreateEventW(NULL, TRUE, FALSE, NULL);
        HeldOpen::go = CreateEventW(NULL, TRUE, FALSE, NULL);
        HeldOpen::readySignals = 0;
        mutexPatch.reset(new IatPatch(module.Handle(), "kernel32.dll", "CreateMutexW",
                                      reinterpret_cast<void*>(&HeldOpen::CreateMutex)));
        signalPatch.reset(new IatPatch(module.Handle(), "kernel32.dll", "SetEvent",
                                       reinterpret_cast<void*>(&HeldOpen::Signal)));
        ASSERT_TRUE(mutexPatch->Applied() && signalPatch->Applied());
        HeldOpen::createMutex = reinterpret_cast<decltype(&CreateMutexW)>(mutexPatch->Original());
        HeldOpen::setEvent = reinterpret_cast<decltype(&SetEvent)>(signalPatch->Original());
    }
    void TearDown() override
    {
        SetEvent(HeldOpen::go);
        if (selecting != NULL) {
            WaitForSingleObject(selecting, SELECT_DONE_MS);
            CloseHandle(selecting);
        }
        tuner->CloseTuner();
        mutexPatch.reset();     // while the module is still mapped
        signalPatch.reset();
        CloseHandle(HeldOpen::reached);
        CloseHandle(HeldOpen::go);
        OpenChannelTest::TearDown();
    }
    std::unique_ptr<IatPatch> mutexPatch;
    std::unique_ptr<IatPatch> signalPatch;
    HANDLE selecting = NULL;
    Selection selection = {};
};

TEST_F(SelectPurge, BlocksCollectedBeforeTheSelectReturnsAreDropped)
{
    selection = {tuner, FALSE};
    selecting = CreateThread(NULL, 0, SelectOnThread, &selection, 0, NULL);
    ASSERT_EQ(WaitForSingleObject(HeldOpen::reached, STATE_TIMEOUT_MS), WAIT_OBJECT_0)
        << "the select never came to its in-use mutex";
    PipeWriter writer;
    ASSERT_TRUE(writer.Connect(CHANNEL)) << "the workers should be listening already";
    BYTE early[EARLY_BYTES];
    Pattern(EARLY_SEED).Fill(early, sizeof(early));
    ASSERT_TRUE(writer.Write(early, sizeof(early)));
    ASSERT_TRUE(WaitUntil([] { return InterlockedCompareExchange(&HeldOpen::readySignals, 0, 0) > 0; }))
        << "the early bytes were never collected";

    SetEvent(HeldOpen::go);
    ASSERT_EQ(WaitForSingleObject(selecting, SELECT_DONE_MS), WAIT_OBJECT_0) << "the select never returned";
    ASSERT_TRUE(selection.result);
    EXPECT_EQ(tuner->QueryReadyCount(), 0u) << "a block collected during the select was kept";

    BYTE late[LATE_BYTES];
    Pattern(LATE_SEED).Fill(late, sizeof(late));
    ASSERT_TRUE(writer.Write(late, sizeof(late)));
    BlockSink sink(tuner, LATE_SEED);
    EXPECT_TRUE(sink.ReceiveBytes(LATE_BYTES)) << "the host must get only what came after the select: "
                                               << sink.Fault();
}

}  // namespace
