// Counts the driver's own calls of its one allocator (HeapAlloc) and of CreateEventW
// by patching its import table, so "no allocation while streaming" is seen directly.
#pragma once
#include <windows.h>
#include <memory>
#include "iat_patch.h"

class DriverCallCounter {
public:
    explicit DriverCallCounter(HMODULE driver);
    ~DriverCallCounter();
    DriverCallCounter(const DriverCallCounter&) = delete;
    DriverCallCounter& operator=(const DriverCallCounter&) = delete;

    bool Applied() const;
    void Reset();
    long HeapAllocs() const;
    long EventsCreated() const;

private:
    std::unique_ptr<IatPatch> m_heapAlloc;
    std::unique_ptr<IatPatch> m_createEvent;
};
