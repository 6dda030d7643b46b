// Makes one chosen call of one of the driver's imports fail, counting from the
// patch on, so that each step of opening a channel can be made to fail in turn.
#pragma once
#include <windows.h>
#include "iat_patch.h"

enum class Import { CreateEventW, CreateThread, ResumeThread, CreateMutexW };

const char* ImportName(Import which);

// One at a time, made while no channel is open: the replacements keep their
// counts in module-wide state.
class FailingCall {
public:
    FailingCall(HMODULE driver, Import which, LONG failOn);   // failOn counts from 1
    ~FailingCall() { Restore(); }
    FailingCall(const FailingCall&) = delete;
    FailingCall& operator=(const FailingCall&) = delete;

    bool Applied() const { return m_patch.Applied(); }
    void Restore() { m_patch.Restore(); }
    static LONG Calls();
    static LONG Failures();
    static long ThreadsAtFailure();     // this process's threads when the call failed

private:
    IatPatch m_patch;
};
