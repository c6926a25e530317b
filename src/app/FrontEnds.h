// The front ends the command line chooses between. Each returns the process's exit status.
#pragma once

#include "app/CommandLine.h"

namespace ornel
{

[[nodiscard]] int RunInitJournal(const CommandLine& line);
[[nodiscard]] int RunImportReg(const CommandLine& line);
[[nodiscard]] int RunExportReg(const CommandLine& line);
// One exchange cycle without a desktop; 0 unless the cycle logged an error.
[[nodiscard]] int RunConsoleCycle(const CommandLine& line);
// Monitoring and schedule without a desktop until the system asks the agent to stop.
[[nodiscard]] int RunService(const CommandLine& line);
// The tray application.
[[nodiscard]] int RunTray(const CommandLine& line, int argc, char** argv);
// What a start without options does in this build, for the help text.
[[nodiscard]] const char* TrayModeText();

} // namespace ornel
