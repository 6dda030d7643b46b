// A test's look at each WinHTTP call the http: reader makes on its request; null in the feeder.
#pragma once
#include <windows.h>
#include <winhttp.h>

extern void (*g_pfnHttpRequestCall)(HINTERNET hRequest);
