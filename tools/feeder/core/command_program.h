// Which program a cmd: command line starts. Without an application name, the
// system takes the quoted first word, or else tries each run of the unquoted words
// up to a blank in turn ("C:\Program Files\x.exe" is first C:\Program.exe), and a
// name without an extension gets ".exe".
#pragma once
#include <string>
#include <vector>

// The names the system tries, in its order, each with ".exe" where it has no extension.
std::vector<std::string> ProgramCandidates(const std::string& commandLine);
