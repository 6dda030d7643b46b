// A recording opened for reading, shared so that other programs may rewrite it
// meanwhile: the PlayFile the file source and the live index read.
#pragma once
#include <windows.h>

#include <string>

#include "play_io.h"

class Win32PlayFile : public PlayFile {
public:
    ~Win32PlayFile() override { Close(); }
    // False with GetLastError() set.
    bool Open(const std::string& path);
    void Close();   // safe to call twice
    HANDLE Handle() const { return m_hFile; }

    bool Size(uint64_t* size, std::string* why) override;
    bool Read(uint8_t* dst, size_t want, size_t* got, std::string* why) override;
    bool Seek(uint64_t offset, std::string* why) override;

private:
    HANDLE  m_hFile = INVALID_HANDLE_VALUE;
};
