// Named points between the steps of a batch of files (copied, synced, named, committed,
// source deleted, deleted on the server) where a crash-consistency run can stop the agent as
// abruptly as a power cut stops it. Off unless the environment variable ORNEL_FTP_CRASH_AT
// names a point ("batch-synced", or "batch-linked:3" for its third passage); then the
// process kills itself there without running another instruction of its own. Any thread.
#pragma once

#include <string_view>

namespace ornel
{

inline constexpr const char* kCrashAtVariable = "ORNEL_FTP_CRASH_AT";

void CrashPoint(std::string_view name);

// Ends this process at once, as a power cut would: no destructor, no flush, no exit code
// of its own choosing.
[[noreturn]] void KillThisProcess();

// Tests only: called at every point passed (nullptr switches it off). A hook that throws
// makes the step before the point fail, as a disk that refuses it would.
void SetCrashPointHookForTesting(void (*hook)(std::string_view name));

} // namespace ornel
