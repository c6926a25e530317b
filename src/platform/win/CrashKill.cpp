#include "platform/CrashPoint.h"

#include <cstdlib>
#include <windows.h>

namespace ornel
{

void KillThisProcess()
{
    // The same exit code a forced end from the task manager gives.
    TerminateProcess(GetCurrentProcess(), 1);
    std::abort(); // not reached: the process ends inside the call
}

} // namespace ornel
