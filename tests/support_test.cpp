// The counters behind every leak check read system structures whose layout follows
// the process's bitness; a misread would make "before == after" hold vacuously.
#include <gtest/gtest.h>
#include "census.h"
#include "private_bytes.h"
#include "wait_until.h"

namespace {

constexpr SIZE_T REGION_BYTES = 1 << 20;
constexpr SIZE_T REGION_SLACK = 64 << 10;   // what the process may commit on its own meanwhile

DWORD WINAPI WaitForEvent(LPVOID event)
{
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

TEST(Census, CountsAHandleWhileItIsOpenAndNotAfter)
{
    const long before = CountOwnHandles();
    ASSERT_GT(before, 0) << "the handle census read nothing";
    HANDLE event = CreateEventW(NULL, TRUE, FALSE, NULL);
    ASSERT_NE(event, static_cast<HANDLE>(NULL));
    EXPECT_EQ(CountOwnHandles(), before + 1);
    CloseHandle(event);
    EXPECT_EQ(CountOwnHandles(), before);
}

TEST(Census, CountsAThreadWhileItRunsAndNotAfterItEnded)
{
    const long before = CountOwnThreads();
    ASSERT_GT(before, 0) << "the thread census read nothing";
    HANDLE release = CreateEventW(NULL, TRUE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, WaitForEvent, release, 0, NULL);
    ASSERT_NE(thread, static_cast<HANDLE>(NULL));
    EXPECT_TRUE(WaitUntil([&] { return CountOwnThreads() == before + 1; }))
        << CountOwnThreads() << " threads, expected " << before + 1;
    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(thread, STATE_TIMEOUT_MS), WAIT_OBJECT_0);
    EXPECT_TRUE(WaitUntil([&] { return CountOwnThreads() == before; }))
        << CountOwnThreads() << " threads, expected " << before;
    CloseHandle(thread);
    CloseHandle(release);
}

TEST(PrivateBytes, GrowByACommittedRegionAndShrinkWhenItIsFreed)
{
    const SIZE_T before = CommittedPrivateBytes();
    ASSERT_GT(before, 0u);
    void* region = VirtualAlloc(NULL, REGION_BYTES, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(region, nullptr);
    const SIZE_T grown = CommittedPrivateBytes();
    EXPECT_GE(grown, before + REGION_BYTES);
    EXPECT_LT(grown, before + REGION_BYTES + REGION_SLACK);
    VirtualFree(region, 0, MEM_RELEASE);
    EXPECT_LT(CommittedPrivateBytes(), before + REGION_SLACK);
}

}  // namespace
