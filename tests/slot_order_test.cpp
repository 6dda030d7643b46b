// A host that calls the driver's operations by their slot in the table of
// virtual operations, from its own table of the published order rather than
// from IBonDriver.h, and checks that each slot answers as its operation does.
// Every other test shares the driver's header, so only this one notices a
// reordered header.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <vector>
#include "driver_module.h"
#include "pattern.h"
#include "pipe_writer.h"

// A member call of the MSVC ABI: `this` comes first, in a register; on 32-bit
// x86 that is the thiscall convention, which mingw only gives when asked.
#if defined(__i386__)
#define SLOT_CALL __attribute__((thiscall))
#else
#define SLOT_CALL
#endif

namespace {

enum Slot : size_t {
    OPEN_TUNER, CLOSE_TUNER, SET_CHANNEL_CODE, QUERY_SIGNAL_LEVEL, WAIT_STREAM, QUERY_READY_COUNT,
    TAKE_STREAM, COPY_STREAM, PURGE_STREAM, RELEASE_DRIVER,
    QUERY_TUNER_NAME, IS_TUNER_IN_USE, ENUM_SPACE, ENUM_CHANNEL, SELECT_CHANNEL, QUERY_CURRENT_SPACE,
    QUERY_CURRENT_CHANNEL,
    DELETING_DESTRUCTOR,    // MSVC's one destructor slot; its argument 1 asks it to free
};

constexpr char CREATE_EXPORT[] = "CreateBonDriver";
constexpr DWORD WAIT_SIGNALLED = 0;
constexpr DWORD WAIT_TIMED_OUT = 258;
constexpr DWORD WAIT_MS = 10000;
constexpr DWORD SHORT_WAIT_MS = 200;
constexpr DWORD EARLY_MS = 20;
constexpr DWORD LITTLE = 1000;          // one small write is one block
constexpr DWORD BLOCKS = 3;
constexpr BYTE UNTOUCHED = 0xA5;
constexpr UINT FREE_AFTER_DESTRUCTION = 1;
constexpr DWORD SLOT_CHANNEL = 5;

class SlotHost {
public:
    explicit SlotHost(void* object) : m_object(object) {}
    template <typename R, typename... Args> R Call(Slot slot, Args... args) const
    {
        typedef R(SLOT_CALL * Operation)(void*, Args...);
        void* const* table = *static_cast<void* const* const*>(m_object);
        return reinterpret_cast<Operation>(table[slot])(m_object, args...);
    }
    void* Object() const { return m_object; }

private:
    void* m_object;
};

class SlotOrder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(module.Load()) << "the driver DLL did not load";
        create = reinterpret_cast<void* (*)()>(reinterpret_cast<void*>(GetProcAddress(module.Handle(), CREATE_EXPORT)));
        ASSERT_NE(create, nullptr);
        object = create();
        ASSERT_NE(object, nullptr);
    }
    void TearDown() override
    {
        if (object != nullptr)
            Host().Call<void>(RELEASE_DRIVER);
        module.Unload();
    }
    SlotHost Host() const { return SlotHost(object); }
    DWORD CurrentChannel() const { return Host().Call<DWORD>(QUERY_CURRENT_CHANNEL); }

    DriverModule module;
    void* (*create)() = nullptr;
    void* object = nullptr;
};

TEST_F(SlotOrder, NameSpaceChannelNameAndSignalSlots)
{
    const SlotHost host = Host();
    const wchar_t* name = host.Call<const wchar_t*>(QUERY_TUNER_NAME);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, L"UDP/Compat");
    EXPECT_EQ(host.Call<const wchar_t*>(ENUM_SPACE, DWORD(0)), name);
    EXPECT_EQ(host.Call<const wchar_t*>(ENUM_SPACE, DWORD(1)), nullptr);
    const wchar_t* channelName = host.Call<const wchar_t*>(ENUM_CHANNEL, DWORD(0), DWORD(7));
    ASSERT_NE(channelName, nullptr);
    EXPECT_STREQ(channelName, L"Pipe\x756A\x53F7 7");
    EXPECT_EQ(host.Call<const wchar_t*>(ENUM_CHANNEL, DWORD(0), DWORD(10)), nullptr);
    EXPECT_EQ(host.Call<float>(QUERY_SIGNAL_LEVEL), 0.0f);
    EXPECT_TRUE(host.Call<BOOL>(OPEN_TUNER));
    EXPECT_EQ(CurrentChannel(), NO_CHANNEL) << "opening the tuner opens no channel";
}

TEST_F(SlotOrder, ChannelSlots)
{
    const SlotHost host = Host();
    EXPECT_EQ(CurrentChannel(), NO_CHANNEL);
    EXPECT_FALSE(host.Call<BOOL>(IS_TUNER_IN_USE));
    ASSERT_TRUE(host.Call<BOOL>(SELECT_CHANNEL, DWORD(0), SLOT_CHANNEL));
    EXPECT_EQ(CurrentChannel(), SLOT_CHANNEL);
    EXPECT_EQ(host.Call<DWORD>(QUERY_CURRENT_SPACE), 0u);
    EXPECT_TRUE(PipeExists(SLOT_CHANNEL));
    EXPECT_TRUE(host.Call<BOOL>(IS_TUNER_IN_USE));
    EXPECT_FALSE(host.Call<BOOL>(SELECT_CHANNEL, DWORD(1), SLOT_CHANNEL));
    EXPECT_TRUE(host.Call<BOOL>(SET_CHANNEL_CODE, BYTE(19)));
    EXPECT_EQ(CurrentChannel(), 6u);
    EXPECT_FALSE(host.Call<BOOL>(SET_CHANNEL_CODE, BYTE(12)));
    EXPECT_EQ(CurrentChannel(), 6u);
    host.Call<void>(CLOSE_TUNER);
    EXPECT_EQ(CurrentChannel(), NO_CHANNEL);
    EXPECT_FALSE(PipeExists(6));
    EXPECT_FALSE(host.Call<BOOL>(IS_TUNER_IN_USE));
}

// The pointer-handing slot and the copying slot get the same kind of argument:
// a block-sized area. A pointer handed out fills only its first bytes; a copy
// fills the area with the block.
TEST_F(SlotOrder, StreamSlotsTellTakingFromCopying)
{
    const SlotHost host = Host();
    ASSERT_TRUE(host.Call<BOOL>(SELECT_CHANNEL, DWORD(0), SLOT_CHANNEL));
    PipeWriter writer;
    ASSERT_TRUE(writer.Connect(SLOT_CHANNEL));
    for (DWORD i = 1; i <= BLOCKS; ++i) {
        BYTE data[LITTLE];
        Pattern(i).Fill(data, sizeof(data));
        ASSERT_TRUE(writer.Write(data, sizeof(data)));
        ASSERT_EQ(host.Call<DWORD>(WAIT_STREAM, WAIT_MS), WAIT_SIGNALLED) << "block " << i;
        EXPECT_EQ(host.Call<DWORD>(QUERY_READY_COUNT), i);
    }

    std::vector<BYTE> area(BLOCK_BYTES, UNTOUCHED);
    DWORD size = 0, remaining = 0;
    ASSERT_TRUE(host.Call<BOOL>(TAKE_STREAM, reinterpret_cast<BYTE**>(area.data()), &size, &remaining));
    BYTE* handed = nullptr;
    std::memcpy(&handed, area.data(), sizeof(handed));
    // Bytes of a copied block are no pointer to follow.
    ASSERT_TRUE(std::all_of(area.begin() + sizeof(handed), area.end(), [](BYTE b) { return b == UNTOUCHED; }))
        << "the taking slot copied the block";
    ASSERT_EQ(size, LITTLE);
    EXPECT_EQ(remaining, BLOCKS - 1);
    ASSERT_NE(handed, reinterpret_cast<BYTE*>(area.data()));
    EXPECT_EQ(Pattern(1).Match(handed, size), size) << "the taking slot handed out no pointer to the block";

    std::fill(area.begin(), area.end(), UNTOUCHED);
    ASSERT_TRUE(host.Call<BOOL>(COPY_STREAM, area.data(), &size, &remaining));
    ASSERT_EQ(size, LITTLE);
    EXPECT_EQ(remaining, BLOCKS - 2);
    EXPECT_EQ(Pattern(2).Match(area.data(), size), size) << "the copying slot did not copy the block";
    EXPECT_TRUE(std::all_of(area.begin() + LITTLE, area.end(), [](BYTE b) { return b == UNTOUCHED; }));

    host.Call<void>(PURGE_STREAM);
    EXPECT_EQ(host.Call<DWORD>(QUERY_READY_COUNT), 0u);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(host.Call<DWORD>(WAIT_STREAM, SHORT_WAIT_MS), WAIT_TIMED_OUT);
    EXPECT_GE(GetTickCount64() - start, SHORT_WAIT_MS - EARLY_MS);
}

TEST_F(SlotOrder, ReleaseAndDeletingDestructorSlotsCloseAndDestroy)
{
    for (Slot slot : {RELEASE_DRIVER, DELETING_DESTRUCTOR}) {
        SCOPED_TRACE(slot);
        ASSERT_TRUE(Host().Call<BOOL>(SELECT_CHANNEL, DWORD(0), SLOT_CHANNEL));
        if (slot == RELEASE_DRIVER)
            Host().Call<void>(RELEASE_DRIVER);
        else
            Host().Call<void>(DELETING_DESTRUCTOR, FREE_AFTER_DESTRUCTION);
        EXPECT_FALSE(PipeExists(SLOT_CHANNEL)) << "the object's channel is still open";
        object = create();
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(CurrentChannel(), NO_CHANNEL) << "the next object must be a fresh one";
    }
}

}  // namespace
