// A month of exchange cycles on a fake clock against a local pyftpdlib: every hour one cycle
// (the two orders taking turns) with files both ways, a restart of the agent each morning
// (journal reopened, which purges and compacts it; day folders derived again). Afterwards the
// journal, the counters in the settings store and the folders must agree with what moved.
// Prints the figures and the number of violations; exit status 1 when there are any.
// Usage: load_month PORT SERVER_ROOT USER PASSWORD [DAYS] [CYCLES_A_DAY]
#include "engine/CycleFixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace ornel;
using namespace ornel::test;

namespace
{

int g_violations = 0;

void Violation(const std::string& text)
{
    ++g_violations;
    std::printf("  VIOLATION %s\n", text.c_str());
}

void Write(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

std::size_t CountFilesUnder(const fs::path& folder)
{
    std::size_t n = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file() && it->path().filename().string()[0] != '.') {
            ++n;
        }
    }
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: load_month PORT SERVER_ROOT USER PASSWORD [DAYS] [CYCLES_A_DAY]\n");
        return 2;
    }
    // The server (with the depository's mask listings) is started by the caller.
    const int port = std::atoi(argv[1]);
    const fs::path serverRoot = argv[2];
    const int days = argc > 5 ? std::atoi(argv[5]) : 30;
    const int perDay = argc > 6 ? std::atoi(argv[6]) : 24;
    CycleFixture f;
    fs::create_directories(serverRoot / "In");
    fs::create_directories(serverRoot / "Out");
    f.UseServer(port, argv[3], argv[4]);
    f.clock.Set(46000.25); // 6 December 2025, 06:00
    const auto started = std::chrono::steady_clock::now();
    int cycles = 0;
    int sent = 0;
    int received = 0;
    for (int day = 0; day < days; ++day) {
        // The morning restart: the journal is opened anew and the day folders follow the date.
        f.journal.Close();
        f.journal.Open(f.root / "ornel_ftp.db");
        f.layout.SetArcSend(f.arcSend.string());
        f.layout.SetArcReciv(f.arcReciv.string());
        f.layout.SetArcSend2(f.arcSend2.string());
        f.layout.SetArcReciv2(f.arcReciv2.string());
        for (int c = 0; c < perDay; ++c) {
            const std::string tag = std::to_string(day) + "_" + std::to_string(c);
            Write(f.postBoxOut / ("out" + tag + ".txt"), "outgoing " + tag + "\r\n");
            Write(serverRoot / "Out" / ("in" + tag + ".txt"), "incoming " + tag + "\r\n");
            if (c % 2 == 0) {
                f.cycle.RunSendReceive();
            } else {
                f.cycle.RunReceiveSend();
            }
            ++cycles;
            sent += 1;
            received += 1;
            if (f.cycle.LastCycleFailed()) {
                std::string errors;
                for (const auto& line : f.Lines()) {
                    if (line.find("Ошибка") != std::string::npos) {
                        errors += " " + line;
                    }
                }
                Violation("cycle " + tag + " failed:" + errors);
            }
            f.desktop.ProtocolLines.clear();
            f.clock.Advance(std::chrono::hours(24) / perDay);
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const auto totals = f.counters.Read();
    if (totals.FileSendCount != sent || totals.FileReciveCount != received) {
        Violation("counters " + std::to_string(totals.FileSendCount) + "/" +
                  std::to_string(totals.FileReciveCount) + " for " + std::to_string(sent) + "/" +
                  std::to_string(received) + " files");
    }
    const std::size_t onServer = CountFilesUnder(serverRoot / "In");
    const std::size_t delivered = CountFilesUnder(f.postBoxIn);
    if (onServer != static_cast<std::size_t>(sent) || delivered != static_cast<std::size_t>(received)) {
        Violation(std::to_string(onServer) + " files on the server, " + std::to_string(delivered) +
                  " delivered, for " + std::to_string(sent) + " each way");
    }
    const std::size_t archived = CountFilesUnder(f.root / "Arc");
    if (archived != static_cast<std::size_t>(2 * sent + 2 * received)) {
        Violation(std::to_string(archived) + " archive copies for " + std::to_string(sent + received) +
                  " files");
    }
    // One more restart: the month's journal must open cleanly, purged to the recent rows.
    f.journal.Close();
    std::size_t rows = 0;
    try {
        f.journal.Open(f.root / "ornel_ftp.db");
        rows = f.journal.TodayRows().size();
    } catch (const std::exception& e) {
        Violation(std::string("the journal does not open after the month: ") + e.what());
    }
    std::error_code ec;
    const auto journalBytes = fs::file_size(f.root / "ornel_ftp.db", ec);
    const auto storeBytes = CountFilesUnder(f.root / "registry");
    std::printf("MONTH: %d days, %d cycles, %d files each way, %.1f s; journal %llu bytes, %zu rows today; "
                "counters %d sent, %d received; %zu store files; violations %d\n",
                days, cycles, sent, seconds, static_cast<unsigned long long>(journalBytes), rows,
                totals.FileSendCount, totals.FileReciveCount, storeBytes, g_violations);
    return g_violations == 0 ? 0 : 1;
}
