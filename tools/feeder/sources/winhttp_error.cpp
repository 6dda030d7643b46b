#include "winhttp_error.h"

#include <winhttp.h>

#include "system_error.h"
#include "wide.h"

namespace {

const DWORD WINHTTP_CODE_FIRST = 12000;
const DWORD WINHTTP_CODE_LAST = 12999;
const DWORD MESSAGE_CAPACITY = 512;

struct KnownError {
    DWORD       code;
    const char* text;
};

const KnownError KNOWN_ERRORS[] = {
    {ERROR_WINHTTP_TIMEOUT, "the server did not answer in time"},
    {ERROR_WINHTTP_NAME_NOT_RESOLVED, "the server name was not found"},
    {ERROR_WINHTTP_OPERATION_CANCELLED, "the request was cancelled"},
    {ERROR_WINHTTP_CANNOT_CONNECT, "cannot connect to the server"},
    {ERROR_WINHTTP_CONNECTION_ERROR, "the connection was reset or ended"},
    {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, "the server's answer is not HTTP"},
    {ERROR_WINHTTP_REDIRECT_FAILED, "a redirect could not be followed"},
    {ERROR_WINHTTP_SECURE_FAILURE, "the server's certificate is not trusted or not valid"},
    {ERROR_WINHTTP_UNRECOGNIZED_SCHEME, "the address is not http:// or https://"},
};

std::string ModuleText(DWORD code)
{
    wchar_t buffer[MESSAGE_CAPACITY];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        GetModuleHandleW(L"winhttp.dll"), code, 0, buffer, MESSAGE_CAPACITY, NULL);
    std::string text = length > 0 ? Narrow(std::wstring(buffer, length)) : std::string();
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

std::string WinHttpErrorText(DWORD code)
{
    if (code < WINHTTP_CODE_FIRST || code > WINHTTP_CODE_LAST)
        return SystemErrorText(code);
    std::string text = ModuleText(code);
    for (const KnownError& known : KNOWN_ERRORS)
        if (text.empty() && known.code == code)
            text = known.text;
    const std::string number = "error " + std::to_string(code);
    return text.empty() ? number : number + ": " + text;
}
