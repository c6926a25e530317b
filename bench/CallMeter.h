// Counts and times, inside this benchmark process, the calls that put data on the disk
// (fsync, fdatasync, syncfs, sync, sync_file_range, msync) and the time spent inside SQLite
// (statements prepared, stepped and executed): the bench defines those functions itself, so
// every caller in the process, the SQLCipher library included, reaches them first and they
// pass the call on. Single figures for the whole process; read between runs.
#pragma once

#include <cstdint>

namespace ornel::bench
{

struct CallFigures
{
    std::int64_t Flushes = 0; // calls that flush a file, a file system or everything
    double FlushSeconds = 0;  // time spent inside them
    double SqliteSeconds = 0; // time spent inside SQLite (the flushes of its commits included)
    double LongestFlush = 0;  // the longest single flush call since the last reset, seconds
};

[[nodiscard]] CallFigures CallsSoFar();
// Starts the longest flush call afresh.
void ResetLongestFlush();

} // namespace ornel::bench
