// The tuner-driver interface as hosts see it. Hosts call these operations by
// their slot in the table of virtual operations, so the order is binding.
// Shareable by host-side code built with either MSVC-ABI or mingw compilers.
#pragma once
#include <windows.h>

#if defined(_MSC_VER)
#define TUNER_NOVTABLE __declspec(novtable)
#else
#define TUNER_NOVTABLE
#endif

// `class`, not `struct`: MSVC RTTI names carry the class-key, and a host's
// dynamic_cast matches by that name.
class TUNER_NOVTABLE IBonDriver {
public:
    virtual BOOL OpenTuner() = 0;
    virtual void CloseTuner() = 0;
    virtual BOOL SetChannelCode(BYTE code) = 0;
    virtual float QuerySignalLevel() = 0;
    virtual DWORD WaitStream(DWORD timeoutMs) = 0;
    virtual DWORD QueryReadyCount() = 0;
    virtual BOOL TakeStream(BYTE** data, DWORD* size, DWORD* remaining) = 0;
    virtual BOOL CopyStream(BYTE* dst, DWORD* size, DWORD* remaining) = 0;
    virtual void PurgeStream() = 0;
    virtual void ReleaseDriver() = 0;
};

class TUNER_NOVTABLE IBonDriver2 : public IBonDriver {
public:
    virtual LPCWSTR QueryTunerName() = 0;
    virtual BOOL IsTunerInUse() = 0;
    virtual LPCWSTR EnumSpace(DWORD space) = 0;
    virtual LPCWSTR EnumChannel(DWORD space, DWORD channel) = 0;
    virtual BOOL SelectChannel(DWORD space, DWORD channel) = 0;
    virtual DWORD QueryCurrentSpace() = 0;
    virtual DWORD QueryCurrentChannel() = 0;
};

// The driver module's one export; returns the module's one tuner object.
extern "C" typedef IBonDriver* (*CreateBonDriverProc)();
constexpr char CREATE_BON_DRIVER_EXPORT[] = "CreateBonDriver";
