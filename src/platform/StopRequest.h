// How a headless agent hears that it should end: SIGTERM and SIGINT on POSIX; Ctrl+C,
// Ctrl+Break, the console closing, the session ending, or the service manager's stop on
// Windows. Installed once by main's front end, before its event loop runs.
#pragma once

#include <functional>

namespace ornel
{

// `onStop` runs in a signal handler (POSIX) or on a thread of the system's (Windows): it
// may only do what is safe there, such as storing an atomic flag or ConsoleEventLoop::Quit.
// A second call replaces the handler.
void InstallStopRequestHandler(void (*onStop)());

// Runs `body` as a service of the system's service manager when that manager started this
// process (Windows), reporting the service running and, with body's result, stopped; a
// stop control then calls the handler installed above. Elsewhere, and when started from a
// console, runs `body` directly. Returns body's result.
int RunAsSystemService(const std::function<int()>& body);

// What ends a headless agent on this system, in words for the help text.
[[nodiscard]] const char* StopRequestText();

} // namespace ornel
