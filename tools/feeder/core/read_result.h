// What one read of a source gives: plain C++, so that portable cores answer in the same words.
#pragma once
#include <cstddef>

enum class ReadStatus {
    DATA,           // `bytes` bytes were copied
    NOTHING_YET,    // nothing within the wait (not yet due, or nothing arrived); not trouble
    ENDED,          // finished for good (a file without ?loop): stay connected, send nothing more
    FAILED,         // trouble; Error() says why, and the worker retries with backoff
};

struct ReadResult {
    ReadStatus  status = ReadStatus::NOTHING_YET;
    size_t      bytes = 0;
};
