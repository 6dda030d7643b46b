// A cmd: source whose program falls silent, with the emitter as its program.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "net_source_support.h"
#include "source_kinds.h"

namespace {

// The emitter writes its file once and then stays alive, silent. The time-out leaves
// room for the program's own start, which the silence clock counts.
TEST_F(NetSourceTest, ProgramThatFallsSilentFailsAfterItsTimeout)
{
    char dir[MAX_PATH + 1], path[MAX_PATH + 1];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "zfc", 0, path);
    const std::vector<uint8_t> stream = NumberedPackets(0, 50);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(stream.data()), stream.size());
    const std::string eventName = "zelmoor-silent-" + std::to_string(GetCurrentProcessId());
    std::string why;
    std::unique_ptr<SourceConfig> config = ParseCmdSource(
        "cmd:\"" + std::string(ZELMOOR_EMITTER_EXE) + "\" \"" + path + "\" " + eventName + "?timeout=3", &why);
    ASSERT_TRUE(config) << why;
    std::unique_ptr<Source> source = config->Create();
    ASSERT_TRUE(source->Open()) << source->Error();
    EXPECT_EQ(ReadBytes(source.get(), stream.size()), stream) << "the emitter took ?timeout= as its own";
    EXPECT_EQ(ReadUntilFailed(source.get()),
              "the program wrote nothing for 3 s (does it write the stream to its standard output?)");
    source.reset();
    DeleteFileA(path);
}

} // namespace
