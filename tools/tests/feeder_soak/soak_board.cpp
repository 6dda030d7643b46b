#include "soak_board.h"

#include "wide.h"

const char* HostCallName(LONG call)
{
    static const char* const NAMES[] = {"none", "loading the driver", "SelectChannel", "WaitStream",
                                        "TakeStream", "CloseTuner", "stalling", "parked"};
    return call >= 0 && call < LONG(sizeof NAMES / sizeof NAMES[0]) ? NAMES[call] : "?";
}

SoakBoard::~SoakBoard()
{
    if (m_view != nullptr)
        UnmapViewOfFile(m_view);
    if (m_hMapping != NULL)
        CloseHandle(m_hMapping);
}

bool SoakBoard::Create(const std::string& name)
{
    m_hMapping = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, sizeof(SoakBoardLayout),
                                    Widen(name).c_str());
    if (m_hMapping == NULL)
        return false;
    m_view = static_cast<SoakBoardLayout*>(MapViewOfFile(m_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (m_view == nullptr)
        return false;
    ZeroMemory(m_view, sizeof *m_view);
    for (SlotBoard& slot : m_view->slots)
        slot.channel = -1;
    return true;
}

bool SoakBoard::Open(const std::string& name)
{
    m_hMapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, Widen(name).c_str());
    if (m_hMapping == NULL)
        return false;
    m_view = static_cast<SoakBoardLayout*>(MapViewOfFile(m_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    return m_view != nullptr;
}

LONG64 NowUs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const LONG64 MICROS = 1000000;
    return now.QuadPart / frequency.QuadPart * MICROS + now.QuadPart % frequency.QuadPart * MICROS / frequency.QuadPart;
}
