// UTF-8 inside the tools, UTF-16 at the platform boundary.
#pragma once
#include <string>
#include <vector>

std::wstring Widen(const std::string& text);
std::string  Narrow(const std::wstring& text);
std::vector<std::string> NarrowArguments(int argc, wchar_t** argv);   // without argv[0]
