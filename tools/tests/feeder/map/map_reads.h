// The feeder's reads of its map file, seen through this test program's imports:
// a test waits for a read to have happened at the moment it stages, instead of
// sleeping and hoping the feeder looked.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "iat_patch.h"

class MapReads {
public:
    explicit MapReads(const std::string& path);     // one at a time in a process
    ~MapReads();
    MapReads(const MapReads&) = delete;
    MapReads& operator=(const MapReads&) = delete;

    bool Applied() const;
    // Every attempt to open the map counts; a stage's mark is taken once it is set up.
    long Mark() const;
    // True once a read that opened the file after `mark` has closed it again.
    bool ReadSince(long mark, DWORD timeoutMs) const;
    // True once an open after `mark` was refused (the file locked or gone).
    bool RefusedSince(long mark, DWORD timeoutMs) const;
    // The open numbered `attempt` (Mark() counts them) waits for Release, so that a
    // test stages the file between two reads however slowly it runs.
    void HoldOpen(long attempt);
    // True once the held open is waiting.
    bool Held(DWORD timeoutMs) const;
    void Release();

private:
    std::unique_ptr<IatPatch> m_create;
    std::unique_ptr<IatPatch> m_close;
};
