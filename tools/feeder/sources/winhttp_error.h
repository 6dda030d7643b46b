// WinHTTP's error numbers (12000-12999) in words: the system's own table does not
// hold them, and Wine's winhttp.dll carries no texts for them either.
#pragma once
#include <windows.h>

#include <string>

// "error 12029: cannot connect to the server", or SystemErrorText for other numbers.
std::string WinHttpErrorText(DWORD code);
