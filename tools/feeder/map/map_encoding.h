// A map file's bytes as the UTF-8 text the parser reads. Windows editors and
// shells mark their encoding: Windows PowerShell 5's '>' writes UTF-16LE with a
// byte-order mark, Notepad may write UTF-8 with one.
#pragma once
#include <string>

// UTF-16 (either order) after its mark is converted, UTF-8's mark is dropped,
// text without a mark is taken as UTF-8. False with *why for UTF-16 cut short.
bool MapBytesToUtf8(const std::string& bytes, std::string* text, std::string* why);
