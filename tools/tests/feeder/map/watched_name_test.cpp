// A change to the map may be reported under its long or its 8.3 short name.
#include <gtest/gtest.h>
#include <windows.h>

#include "watched_name.h"

TEST(WatchedName, ARecordUnderTheLongOrTheShortNameNamesTheFileAndNoOtherDoes)
{
    wchar_t temp[MAX_PATH], shorter[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring longName = L"channel map " + std::to_wstring(GetCurrentProcessId()) + L".txt";
    const std::wstring path = temp + longName;
    CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    ASSERT_GT(GetShortPathNameW(path.c_str(), shorter, MAX_PATH), 0u);
    const std::wstring shortName = std::wstring(shorter).substr(std::wstring(shorter).find_last_of(L'\\') + 1);
    WatchedName name;
    name.Set(path);
    DeleteFileW(path.c_str());
    if (shortName == longName)
        GTEST_SKIP() << "this volume makes no 8.3 names";
    EXPECT_TRUE(name.Matches(longName.c_str(), static_cast<int>(longName.size())));
    EXPECT_TRUE(name.Matches(shortName.c_str(), static_cast<int>(shortName.size()))) << "not under its short name";
    EXPECT_FALSE(name.Matches(shortName.c_str(), static_cast<int>(shortName.size()) - 1));
}
