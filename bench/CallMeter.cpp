#include "CallMeter.h"

#include <atomic>
#include <chrono>
#include <dlfcn.h>
#include <sys/types.h>

struct sqlite3;
struct sqlite3_stmt;

namespace
{

std::atomic<std::int64_t> g_flushes{0};
std::atomic<std::int64_t> g_flushNanos{0};
std::atomic<std::int64_t> g_sqliteNanos{0};
std::atomic<std::int64_t> g_longestFlushNanos{0};
// SQLite calls itself (an exec steps its statements): only the outermost call is timed.
thread_local int t_sqliteDepth = 0;

template <typename Function> Function Next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

std::int64_t Nanos(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - since)
        .count();
}

template <typename Call> auto Flush(Call&& call)
{
    const auto start = std::chrono::steady_clock::now();
    const auto result = call();
    const std::int64_t took = Nanos(start);
    g_flushNanos += took;
    ++g_flushes;
    std::int64_t longest = g_longestFlushNanos.load();
    while (took > longest && !g_longestFlushNanos.compare_exchange_weak(longest, took)) {
    }
    return result;
}

template <typename Call> auto Sqlite(Call&& call)
{
    const bool outermost = t_sqliteDepth++ == 0;
    const auto start = std::chrono::steady_clock::now();
    const auto result = call();
    if (outermost) {
        g_sqliteNanos += Nanos(start);
    }
    --t_sqliteDepth;
    return result;
}

} // namespace

extern "C" {

int fsync(int fd)
{
    static const auto next = Next<int (*)(int)>("fsync");
    return Flush([&] { return next(fd); });
}

int fdatasync(int fd)
{
    static const auto next = Next<int (*)(int)>("fdatasync");
    return Flush([&] { return next(fd); });
}

int syncfs(int fd)
{
    static const auto next = Next<int (*)(int)>("syncfs");
    return Flush([&] { return next(fd); });
}

void sync()
{
    static const auto next = Next<void (*)()>("sync");
    Flush([&] {
        next();
        return 0;
    });
}

int sync_file_range(int fd, off64_t offset, off64_t nbytes, unsigned int flags)
{
    static const auto next = Next<int (*)(int, off64_t, off64_t, unsigned int)>("sync_file_range");
    return Flush([&] { return next(fd, offset, nbytes, flags); });
}

int msync(void* address, size_t length, int flags)
{
    static const auto next = Next<int (*)(void*, size_t, int)>("msync");
    return Flush([&] { return next(address, length, flags); });
}

int sqlite3_step(sqlite3_stmt* statement)
{
    static const auto next = Next<int (*)(sqlite3_stmt*)>("sqlite3_step");
    return Sqlite([&] { return next(statement); });
}

int sqlite3_prepare_v2(sqlite3* db, const char* sql, int bytes, sqlite3_stmt** statement, const char** tail)
{
    static const auto next =
        Next<int (*)(sqlite3*, const char*, int, sqlite3_stmt**, const char**)>("sqlite3_prepare_v2");
    return Sqlite([&] { return next(db, sql, bytes, statement, tail); });
}

int sqlite3_exec(sqlite3* db, const char* sql, int (*callback)(void*, int, char**, char**), void* context,
                 char** error)
{
    static const auto next =
        Next<int (*)(sqlite3*, const char*, int (*)(void*, int, char**, char**), void*, char**)>(
            "sqlite3_exec");
    return Sqlite([&] { return next(db, sql, callback, context, error); });
}

} // extern "C"

namespace ornel::bench
{

CallFigures CallsSoFar()
{
    CallFigures figures;
    figures.Flushes = g_flushes.load();
    figures.FlushSeconds = static_cast<double>(g_flushNanos.load()) / 1e9;
    figures.SqliteSeconds = static_cast<double>(g_sqliteNanos.load()) / 1e9;
    figures.LongestFlush = static_cast<double>(g_longestFlushNanos.load()) / 1e9;
    return figures;
}

void ResetLongestFlush()
{
    g_longestFlushNanos = 0;
}

} // namespace ornel::bench
