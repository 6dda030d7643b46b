// Makes one of the driver's workers stop answering on the test's cue: inside its
// Sleep, or inside m_csLock (its LeaveCriticalSection waits first).
#pragma once
#include <windows.h>
#include <memory>
#include "iat_patch.h"

enum class Worker { Push, Pop };        // in the order the driver creates them
enum class StallIn { Sleep, Lock };

// Install before SelectChannel (the workers are told apart by creation order)
// and restore before the module is unloaded.
class WorkerStall {
public:
    WorkerStall(HMODULE driver, StallIn where);
    ~WorkerStall();
    WorkerStall(const WorkerStall&) = delete;
    WorkerStall& operator=(const WorkerStall&) = delete;

    bool Applied() const { return m_created.Applied() && m_enter.Applied() && m_stall.Applied(); }
    // The chosen worker blocks at its next call; true once it does (and, when it
    // stalls inside the lock, once the other worker waits in its Enter for it).
    bool Stall(Worker which);
    void Restore();

private:
    StallIn m_where;
    IatPatch m_created;
    IatPatch m_enter;
    IatPatch m_stall;
};
