#include "system_error.h"

#include "wide.h"

namespace {

const DWORD MESSAGE_CAPACITY = 512;

// The system's texts end in a full stop and a line break; inside our lines they
// stand in the middle of a sentence.
void TrimEnd(std::string* text)
{
    while (!text->empty() && (text->back() == '\r' || text->back() == '\n' || text->back() == ' '
                              || text->back() == '.'))
        text->pop_back();
}

} // namespace

std::string SystemErrorText(DWORD code)
{
    wchar_t buffer[MESSAGE_CAPACITY];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                                        0, buffer, MESSAGE_CAPACITY, NULL);
    std::string text = length > 0 ? Narrow(std::wstring(buffer, length)) : std::string();
    TrimEnd(&text);
    const std::string number = "error " + std::to_string(code);
    return text.empty() ? number : number + ": " + text;
}
