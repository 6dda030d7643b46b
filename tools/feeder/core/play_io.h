// What a recording is played from and by: a file read in order that can be
// rewound, and a clock that can be waited on. The file source gives the real
// ones; the fuzz gives a file that changes under the reader and a fake clock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Each call is false with *why set to the system's words for the failure.
class PlayFile {
public:
    virtual ~PlayFile() = default;
    virtual bool Size(uint64_t* size, std::string* why) = 0;
    // Reads on from the current position: fewer bytes than asked, or none, at its end.
    virtual bool Read(uint8_t* dst, size_t want, size_t* got, std::string* why) = 0;
    virtual bool Seek(uint64_t offset, std::string* why) = 0;
};

class PlayClock {
public:
    virtual ~PlayClock() = default;
    virtual double Seconds() = 0;
    // Sleeps `seconds`, which is finite and more than nothing.
    virtual void Wait(double seconds) = 0;
};
