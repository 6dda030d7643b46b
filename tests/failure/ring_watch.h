// Keeps the driver's ring mapped and poisoned after the driver frees it, so that
// a read that completes late shows up as bytes changed in "freed" memory.
#pragma once
#include <windows.h>
#include "iat_patch.h"

class RingWatch {
public:
    explicit RingWatch(HMODULE driver);     // before the channel is closed
    ~RingWatch();                           // frees the kept ring; before unload
    RingWatch(const RingWatch&) = delete;
    RingWatch& operator=(const RingWatch&) = delete;

    bool Applied() const { return m_patch.Applied(); }
    // After the driver was unloaded, instead of restoring its import.
    void ModuleUnloaded() { m_patch.Abandon(); }
    bool RingFreed() const;
    // True while every byte of the freed ring still holds the poison.
    bool Untouched() const;

private:
    IatPatch m_patch;
};
