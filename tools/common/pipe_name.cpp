#include "pipe_name.h"

#include <cwchar>

namespace {

const wchar_t PIPE_NAME_FORMAT[] = L"\\\\.\\pipe\\Zelmoor%02u";
const size_t  PIPE_NAME_CAPACITY = 32;

} // namespace

std::wstring PipeNameForChannel(uint32_t channel)
{
    wchar_t name[PIPE_NAME_CAPACITY];
    std::swprintf(name, PIPE_NAME_CAPACITY, PIPE_NAME_FORMAT, channel);
    return name;
}
