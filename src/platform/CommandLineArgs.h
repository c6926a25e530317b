// What the program was started with, as UTF-8 texts whatever the system's code page. Called
// by main() once; any thread.
#pragma once

#include <string>
#include <vector>

namespace ornel
{

// The arguments after the program's name. POSIX: argv as given. Windows: the wide command
// line the system holds (argv would have passed through the ANSI code page and lost every
// character outside it).
[[nodiscard]] std::vector<std::string> CommandLineArgs(int argc, char** argv);

// Makes the console show the program's UTF-8 output (Windows: the console's output code
// page); nothing to do where consoles take UTF-8 anyway.
void UseUtf8Console();

} // namespace ornel
