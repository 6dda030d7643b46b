// The block ring between the pipe and the host.
#pragma once
#include <windows.h>

constexpr DWORD RING_BLOCKS = 86;
constexpr DWORD BLOCK_DATA_SIZE = 0xBC00;   // 48,128 bytes: one read, one block

enum : DWORD {
    BLOCK_IDLE = 0,     // allocated, never read into
    BLOCK_READING = 1,  // a read is in flight into it
    BLOCK_READY = 2,    // its read finished (taken or not)
};

struct PipeBlock {
    OVERLAPPED  Overlapped;         // its hEvent is the block's own read event
    DWORD       dwState;            // written by the push worker, read unlocked by the pop worker
    DWORD       dwBytes;
    BYTE        Data[BLOCK_DATA_SIZE];
    PipeBlock*  pNext;
};

// One zeroed array of `count` blocks linked in a circle; null if it cannot be allocated.
PipeBlock* CreateRing(DWORD count);
void FreeRing(PipeBlock* ring);
