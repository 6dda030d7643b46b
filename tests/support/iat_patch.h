// Replaces one of the driver's imports for the life of the object, to make a
// platform call fail, block or wait on the test's cue.
#pragma once
#include <windows.h>

class IatPatch {
public:
    // `module` imports `function` from `dll`; calls go to `replacement` until destruction.
    IatPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~IatPatch() { Restore(); }
    IatPatch(const IatPatch&) = delete;
    IatPatch& operator=(const IatPatch&) = delete;

    bool Applied() const { return m_slot != nullptr; }
    void* Original() const { return m_original; }
    void Restore();
    // The module is gone, and its import table with it: nothing to restore.
    void Abandon() { m_slot = nullptr; }

private:
    void** m_slot = nullptr;
    void* m_original = nullptr;
};
