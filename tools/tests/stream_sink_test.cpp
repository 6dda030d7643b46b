#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>

#include "stream_sink.h"

namespace {

const std::string OLD_CONTENT = "a finished recording";
const uint8_t NEW_CONTENT[] = {0x47, 0x01, 0x00, 0x10};

// A fresh folder per test, removed with whatever is left in it.
class SinkFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH + 1];
        GetTempPathA(sizeof temp, temp);
        m_folder = std::string(temp) + "zelmoor-sink-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_folder.c_str(), NULL);
        m_target = m_folder + "\\rec.ts";
        std::ofstream(m_target, std::ios::binary) << OLD_CONTENT;
    }

    void TearDown() override
    {
        for (const std::string& name : Files())
            DeleteFileA((m_folder + "\\" + name).c_str());
        RemoveDirectoryA(m_folder.c_str());
    }

    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((m_folder + "\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(found.cFileName);
        } while (FindNextFileA(find, &found));
        FindClose(find);
        return names;
    }

    static std::string Content(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::string m_folder;
    std::string m_target;
};

TEST_F(SinkFolder, TheNamedFileChangesOnlyOnCommit)
{
    StreamSink sink;
    std::string error;
    ASSERT_TRUE(sink.Open(m_target, &error)) << error;
    ASSERT_TRUE(sink.Write(NEW_CONTENT, sizeof NEW_CONTENT, &error)) << error;
    EXPECT_EQ(OLD_CONTENT, Content(m_target)) << "streaming goes to a new file";
    ASSERT_TRUE(sink.Commit(&error)) << error;
    EXPECT_EQ(std::string(NEW_CONTENT, NEW_CONTENT + sizeof NEW_CONTENT), Content(m_target));
    EXPECT_EQ(1u, Files().size()) << "the new file became the named one";
}

TEST_F(SinkFolder, AbandoningKeepsTheNamedFileAndNamesWhatArrived)
{
    StreamSink sink;
    std::string error;
    ASSERT_TRUE(sink.Open(m_target, &error)) << error;
    ASSERT_TRUE(sink.Write(NEW_CONTENT, sizeof NEW_CONTENT, &error)) << error;
    const std::string kept = sink.Abandon();
    EXPECT_EQ(OLD_CONTENT, Content(m_target));
    ASSERT_EQ(2u, Files().size());
    const std::string other = Files()[0] == "rec.ts" ? Files()[1] : Files()[0];
    EXPECT_NE(std::string::npos, kept.find(other)) << kept;
    EXPECT_EQ(sizeof NEW_CONTENT, Content(m_folder + "\\" + other).size());
}

TEST_F(SinkFolder, AbandoningAnEmptyRunLeavesNothingBehind)
{
    {
        StreamSink sink;
        std::string error;
        ASSERT_TRUE(sink.Open(m_target, &error)) << error;
        EXPECT_EQ(2u, Files().size());
    }   // destroyed without Commit: abandoned
    EXPECT_EQ(std::vector<std::string>{"rec.ts"}, Files());
    EXPECT_EQ(OLD_CONTENT, Content(m_target));
}

TEST_F(SinkFolder, AFolderOrAMissingFolderIsRefusedBeforeAnythingIsWritten)
{
    for (const std::string& bad : {m_folder, m_folder + "\\no-such-folder\\rec.ts"}) {
        StreamSink sink;
        std::string error;
        EXPECT_FALSE(sink.Open(bad, &error)) << bad;
        EXPECT_NE(std::string::npos, error.find(bad.substr(bad.rfind('\\') + 1))) << error;
    }
    EXPECT_EQ(std::vector<std::string>{"rec.ts"}, Files());
}

} // namespace
