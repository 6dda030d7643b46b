// The soak's cmd: program: it must stream its clip in a loop until told to
// exit, and exit when told, or the soak's "program exited" fault means nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "feeder_streams.h"
#include "wait_until.h"
#include "wide.h"

namespace {

const DWORD  STREAMING_MS = 20000;
const DWORD  EXIT_MS = 10000;
const DWORD  EMITTER_TOLD = 0;

std::string EventName()
{
    return "zelmoor-soak-emitter-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
}

} // namespace

TEST(SoakEmitter, LoopsItsClipUntilToldThenExits)
{
    const std::string clipPath = StreamPath("soak_ch7.ts");
    const std::vector<uint8_t> clip = ReadWholeFile(clipPath);
    ASSERT_FALSE(clip.empty()) << clipPath;
    const std::string name = EventName();
    ChildProcess emitter;
    ASSERT_TRUE(emitter.Start(ZELMOOR_SOAK_EMITTER_EXE, {clipPath, name}));
    ASSERT_TRUE(WaitUntil([&] { return emitter.Output().size() > clip.size() + 188; }, STREAMING_MS))
        << "the emitter did not get past one round of its clip";
    HANDLE told = OpenEventW(EVENT_MODIFY_STATE, FALSE, Widen(name).c_str());
    ASSERT_NE(told, static_cast<HANDLE>(NULL)) << "the emitter made no event named " << name;
    SetEvent(told);
    CloseHandle(told);
    EXPECT_EQ(emitter.Wait(EXIT_MS), EMITTER_TOLD);
    const std::string out = emitter.Output();
    ASSERT_GT(out.size(), clip.size());
    EXPECT_EQ(0, memcmp(out.data(), clip.data(), clip.size())) << "the first round is not the clip";
    EXPECT_EQ(0, memcmp(out.data() + clip.size(), clip.data(), 188)) << "the second round does not start the clip again";
}

TEST(SoakEmitter, RefusesAMissingClip)
{
    ChildProcess emitter;
    ASSERT_TRUE(emitter.Start(ZELMOOR_SOAK_EMITTER_EXE, {"Z:\\no\\such\\clip.ts", EventName()}));
    EXPECT_NE(emitter.Wait(EXIT_MS), EMITTER_TOLD);
}
