// Many small files through a whole send cycle and a whole receive cycle of the agent (no
// encryption) against a local vsftpd, with lftp moving the same number of files in the same
// run: on a quiet disk, while another program keeps the disk busy, while another program
// writes large files that the system holds back (as a copy does), and through a relay that
// adds 20 ms of round trip. Counted inside the agent's cycles: the calls that flush data to
// the disk, the time in the network (every FTP call) and in the journal (every SQLite call),
// and each half split into its steps by the moments of its own log lines. The same FTP
// commands by the bare client with nothing else to do show what the wire alone allows; the
// search for a leftover upload is timed apart, as the server pays for it by reading its
// whole folder each time, so its share grows with the files waiting there. The processor
// time of the agent's cycle and of lftp's run, per file, shows how much of the difference is
// the agent's own work where the processors are few. Then the copies, the counters and the
// open-file test timed on their own, per file. Needs root (vsftpd).
#include "BenchEngine.h"
#include "CallMeter.h"
#include "DelayRelay.h"
#include "ftp/FtpClient.h"
#include "platform/FileBatch.h"
#include "platform/OpenFileProbe.h"
#include "platform/Process.h"
#include "support/RealFtpServer.h"
#include "support/TempFolder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace ornel;
using namespace ornel::bench;
using namespace ornel::test;

namespace
{

constexpr std::size_t kFileSize = 4096;
constexpr int kQuietFiles = 1000;
constexpr int kBusyFiles = 300;
constexpr int kRelayFiles = 100;
constexpr std::chrono::milliseconds kRelayRoundTrip{20};

double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Name(int i)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "file%04d.dat", i);
    return buffer;
}

void MakeFiles(const fs::path& folder, int count)
{
    fs::create_directories(folder);
    const std::string content(kFileSize, 'q');
    for (int i = 0; i < count; ++i) {
        WriteFile(folder / Name(i), content);
    }
}

int CountIn(const fs::path& folder)
{
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        n += e.is_regular_file() ? 1 : 0;
    }
    return n;
}

// Processor time (user and system, seconds) used so far by this thread (the agent runs its
// cycle on it; the relay has a thread of its own), or by the children it has waited for.
double ProcessorSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// lftp's time (-1 when it failed) and its processor time, through the shell that ran it.
struct LftpRun
{
    double Seconds = -1;
    double Processor = 0;
};

LftpRun RunLftp(int port, const RealFtpServer& server, const std::string& commands)
{
    const std::string line = "lftp -u " + server.User() + "," + server.Password() + " -p " +
                             std::to_string(port) +
                             " -e 'set ftp:passive-mode on; set cmd:fail-exit yes; set net:max-retries 1; " +
                             commands + "; bye' 127.0.0.1 >/dev/null 2>&1";
    int status = 0;
    const double before = ProcessorSeconds(RUSAGE_CHILDREN);
    const double t = Seconds([&] { status = std::system(line.c_str()); });
    return LftpRun{status == 0 ? t : -1, ProcessorSeconds(RUSAGE_CHILDREN) - before};
}

// One direction of one run: the agent's cycle and lftp's transfer of as many files.
struct Direction
{
    double Cycle = 0;
    bool Ok = false;
    double Lftp = -1;
    // Processor time, user and system: the agent's in its cycle, lftp's in its run (seconds).
    double Processor = 0;
    double LftpProcessor = 0;
    std::int64_t Flushes = 0;
    double FlushSeconds = 0;
    double LongestFlush = 0;
    double JournalSeconds = 0;
    double NetworkSeconds = 0;
    // The half's steps, from the cycle's own log lines (seconds; -1 when a mark is missing):
    // listing and moving out of the post box or into it, the encryption step, the transfer
    // loop (listing, transfers, archive copies, deletes).
    double MoveSeconds = -1;
    double CryptSeconds = -1;
    double TransferSeconds = -1;
};

// The moments the cycle logged its lines, to split it into its steps.
struct LoggedLine
{
    std::chrono::steady_clock::time_point At;
    std::string Text;
};

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsCryptStart(const std::string& line)
{
    return line == "Шифрование найденных файлов" || line == "Расшифровка принятых файлов" ||
           line == "Перемещение найденых файлов без шифрования";
}

// The first line from `from` on that `match` accepts; lines.size() when none does.
std::size_t Find(const std::vector<LoggedLine>& lines, std::size_t from,
                 const std::function<bool(const std::string&)>& match)
{
    while (from < lines.size() && !match(lines[from].Text)) {
        ++from;
    }
    return from;
}

double Between(const std::vector<LoggedLine>& lines, std::size_t a, std::size_t b)
{
    if (a >= lines.size() || b >= lines.size()) {
        return -1;
    }
    return std::chrono::duration<double>(lines[b].At - lines[a].At).count();
}

// The outgoing half: "Папка: " of the post box (the move begins), the encryption step, then
// "Передача" up to its total line. The incoming half: "Прием", the decryption step, then
// the first archive copy after it (the move into the post box) up to the other half's
// listing of the post box.
void SplitSteps(Direction& d, const std::vector<LoggedLine>& lines, bool sendFirst)
{
    if (sendFirst) {
        const std::size_t move =
            Find(lines, 0, [](const std::string& l) { return StartsWith(l, "Папка: "); });
        const std::size_t crypt = Find(lines, move, IsCryptStart);
        const std::size_t send = Find(lines, crypt, [](const std::string& l) { return l == "Передача"; });
        const std::size_t total =
            Find(lines, send, [](const std::string& l) { return StartsWith(l, "Всего файлов: "); });
        d.MoveSeconds = Between(lines, move, crypt);
        d.CryptSeconds = Between(lines, crypt, send);
        d.TransferSeconds = Between(lines, send, total);
    } else {
        const std::size_t receive = Find(lines, 0, [](const std::string& l) { return l == "Прием"; });
        const std::size_t crypt = Find(lines, receive, IsCryptStart);
        const std::size_t move =
            Find(lines, crypt, [](const std::string& l) { return StartsWith(l, "Резервное коприрование"); });
        const std::size_t other = Find(lines, move, [](const std::string& l) {
            return StartsWith(l, "Папка: ") || StartsWith(l, "Стоп прием/передача");
        });
        d.TransferSeconds = Between(lines, receive, crypt);
        d.CryptSeconds = Between(lines, crypt, move);
        d.MoveSeconds = Between(lines, move, other);
    }
}

Direction MeasureCycle(BenchEngine& engine, void (ExchangeCycle::*cycle)())
{
    ResetLongestFlush();
    const CallFigures before = CallsSoFar();
    const double network = engine.gate.Seconds();
    Direction d;
    std::vector<LoggedLine> lines;
    engine.log.SetEcho([&lines](const std::string& line) {
        lines.push_back(LoggedLine{std::chrono::steady_clock::now(), line});
    });
    const double processor = ProcessorSeconds(RUSAGE_THREAD);
    d.Cycle = Seconds([&] { (engine.cycle.*cycle)(); });
    d.Processor = ProcessorSeconds(RUSAGE_THREAD) - processor;
    engine.log.SetEcho({});
    SplitSteps(d, lines, cycle == &ExchangeCycle::RunSendReceive);
    const CallFigures after = CallsSoFar();
    d.Flushes = after.Flushes - before.Flushes;
    d.FlushSeconds = after.FlushSeconds - before.FlushSeconds;
    d.LongestFlush = after.LongestFlush;
    d.JournalSeconds = after.SqliteSeconds - before.SqliteSeconds;
    d.NetworkSeconds = engine.gate.Seconds() - network;
    return d;
}

// The same FTP commands per file by the bare client, with no local work: the most the cycle
// could reach on this server (seconds; -1 when not measured).
struct Wire
{
    double Send = -1;
    double Search = -1; // of Send, the search listings (TYPE A, PASV, NLST, TYPE I) alone
    double Receive = -1;
};

struct Exchange
{
    int Files = 0;
    Direction Send;
    Direction Receive;
    Wire Bare;
};

// The commands the cycle sends per file, by the bare client with nothing else to do: for an
// upload the search for a leftover temporary file (TYPE A, PASV, NLST, TYPE I), PASV, STOR
// and SIZE; for a download SIZE, PASV, RETR and DELE. Into `inDir`, out of `outDir`.
Wire MeasureWire(int port, const RealFtpServer& server, const fs::path& work, const std::string& inDir,
                 const std::string& outDir, int files)
{
    const fs::path up = work / "wire-up";
    const fs::path down = work / "wire-down";
    MakeFiles(up, files);
    fs::create_directories(down);
    FtpClient ftp;
    ftp.SetHost("127.0.0.1");
    ftp.SetPort(port);
    ftp.SetUsername(server.User());
    ftp.SetPassword(server.Password());
    ftp.SetPassive(true);
    ftp.Connect();
    ftp.ChangeDir(inDir);
    Wire wire;
    wire.Search = 0;
    wire.Send = Seconds([&] {
        for (int i = 0; i < files; ++i) {
            wire.Search += Seconds([&] {
                std::vector<std::string> found;
                try {
                    ftp.List(found, ".in." + Name(i) + ".", false);
                } catch (const std::exception&) {
                    // refused for a name that is not there, as the cycle expects
                }
            });
            ftp.Put(up / Name(i), Name(i), false);
            (void)ftp.Size(Name(i));
        }
    });
    ftp.ChangeDirUp();
    ftp.ChangeDir(outDir);
    wire.Receive = Seconds([&] {
        for (int i = 0; i < files; ++i) {
            (void)ftp.Size(Name(i));
            ftp.Get(Name(i), down / Name(i), true, false);
            ftp.Delete(Name(i));
        }
    });
    ftp.Disconnect();
    return wire;
}

// The server's folders of one run, named by `tag`; made before the server starts, which
// hands its tree over to its account.
void PrepareServerFolders(const fs::path& serverRoot, const std::string& tag, int files)
{
    for (const char* dir : {"In", "Empty", "LftpIn", "WireIn"}) {
        fs::create_directories(serverRoot / (tag + dir));
    }
    MakeFiles(serverRoot / (tag + "Out"), files);
    MakeFiles(serverRoot / (tag + "LftpOut"), files);
    MakeFiles(serverRoot / (tag + "WireOut"), files);
}

// Both directions through the server (or a relay to it) on `port`, in folders named by `tag`.
Exchange RunExchange(const fs::path& base, const fs::path& serverRoot, const RealFtpServer& server, int port,
                     const std::string& tag, int files)
{
    const fs::path work = base / tag;
    MakeFiles(work / "lftp-up", files);
    fs::create_directories(work / "lftp-down");

    Exchange x;
    x.Files = files;
    BenchEngine engine(work / "agent", port, server.User(), server.Password(), tag + "In", tag + "Empty");
    MakeFiles(engine.settings.PostBoxOut, files);
    x.Send = MeasureCycle(engine, &ExchangeCycle::RunSendReceive);
    x.Send.Ok = !engine.cycle.LastCycleFailed() && CountIn(serverRoot / (tag + "In")) == files;
    const LftpRun put =
        RunLftp(port, server, "cd " + tag + "LftpIn; mput " + (work / "lftp-up").string() + "/*");
    x.Send.Lftp = put.Seconds;
    x.Send.LftpProcessor = put.Processor;

    engine.layout.SetFtpOut(tag + "Out");
    x.Receive = MeasureCycle(engine, &ExchangeCycle::RunReceiveSend);
    x.Receive.Ok = !engine.cycle.LastCycleFailed() && CountIn(engine.settings.PostBoxIn) == files;
    const LftpRun get =
        RunLftp(port, server, "lcd " + (work / "lftp-down").string() + "; cd " + tag + "LftpOut; mget -E *");
    x.Receive.Lftp = get.Seconds;
    x.Receive.LftpProcessor = get.Processor;
    try {
        x.Bare = MeasureWire(port, server, work, tag + "WireIn", tag + "WireOut", files);
    } catch (const std::exception& e) {
        std::printf("  the bare client's run failed: %s\n", e.what());
    }
    return x;
}

void PrintExchange(const char* title, const Exchange& x)
{
    std::printf("\n%s: %d files of %zu bytes each way\n", title, x.Files, kFileSize);
    std::printf("  %-18s %8s %9s %9s %6s %13s\n", "", "agent s", "agent f/s", "lftp f/s", "ratio",
                "flushes/file");
    // Seconds, files per second, lftp's files per second and the ratio; the line goes on.
    const auto rate = [&](const char* what, double seconds, double lftp) {
        const double ours = x.Files / seconds;
        const double theirs = lftp > 0 ? x.Files / lftp : 0;
        std::printf("  %-18s %8.3f %9.1f ", what, seconds, ours);
        if (theirs > 0) {
            std::printf("%9.1f %6.2f", theirs, ours / theirs);
        } else {
            std::printf("%9s %6s", "failed", "-");
        }
    };
    const auto line = [&](const char* what, const Direction& d) {
        rate(what, d.Cycle, d.Lftp);
        std::printf(" %13.3f%s\n", static_cast<double>(d.Flushes) / x.Files,
                    d.Ok ? "" : "  (agent run incomplete)");
    };
    line("send (mput)", x.Send);
    line("receive (mget -E)", x.Receive);
    const auto wire = [&](const char* what, double seconds, const Direction& d) {
        if (seconds > 0) {
            rate(what, seconds, d.Lftp);
            std::printf("\n");
        }
    };
    std::printf("  the cycle's FTP commands alone, by the bare client (the most the cycle can reach):\n");
    wire("  send: 7 commands", x.Bare.Send, x.Send);
    if (x.Bare.Search >= 0) {
        std::printf("      of which the search for a leftover (TYPE A, PASV, NLST, TYPE I): %.3f ms/file\n",
                    1e3 * x.Bare.Search / x.Files);
    }
    wire("  receive: 4 cmds", x.Bare.Receive, x.Receive);
    std::printf("  per file, inside the cycle (ms): %-8s %8s %8s %8s %8s %8s\n", "", "cycle", "network",
                "journal", "flushing", "longest");
    const auto costs = [&](const char* what, const Direction& d) {
        const double n = x.Files;
        std::printf("  %-41s %8.3f %8.3f %8.3f %8.3f %8.1f\n", what, 1e3 * d.Cycle / n,
                    1e3 * d.NetworkSeconds / n, 1e3 * d.JournalSeconds / n, 1e3 * d.FlushSeconds / n,
                    1e3 * d.LongestFlush);
    };
    costs("    send", x.Send);
    costs("    receive", x.Receive);
    std::printf("    (longest: the longest single flush call of the cycle, ms, not per file)\n");
    // Where the agent's own work goes beside lftp's: on a machine with few processors the
    // server, the agent and the system's network share them.
    std::printf("  processor time per file (ms, user + system; %ld processors):  %8s %8s\n",
                ::sysconf(_SC_NPROCESSORS_ONLN), "agent", "lftp");
    const auto processor = [&](const char* what, const Direction& d) {
        std::printf("  %-60s %8.3f %8.3f\n", what, 1e3 * d.Processor / x.Files,
                    1e3 * d.LftpProcessor / x.Files);
    };
    processor("    send", x.Send);
    processor("    receive", x.Receive);
    std::printf("  per file, the half's steps (ms):          %8s %8s %8s\n", "move", "crypt", "transfer");
    const auto steps = [&](const char* what, const Direction& d) {
        const auto ms = [&](double seconds) { return seconds < 0 ? -1.0 : 1e3 * seconds / x.Files; };
        std::printf("  %-41s %8.3f %8.3f %8.3f\n", what, ms(d.MoveSeconds), ms(d.CryptSeconds),
                    ms(d.TransferSeconds));
    };
    steps("    send (move out of the post box first)", x.Send);
    steps("    receive (move into the post box last)", x.Receive);
}

// Three copies per file in batches as the cycle makes them (either direction makes three:
// the moved file and two archive copies), the batches made durable and the sources deleted.
double CopiesPerFile(const fs::path& base)
{
    const fs::path source = base / "copy-src";
    MakeFiles(source, kQuietFiles);
    for (const char* dir : {"copy-a", "copy-b", "copy-c"}) {
        fs::create_directories(base / dir);
    }
    const double t = Seconds([&] {
        for (int first = 0; first < kQuietFiles; first += 128) {
            FileBatch batch;
            for (int i = first; i < std::min(kQuietFiles, first + 128); ++i) {
                for (const char* dir : {"copy-a", "copy-b", "copy-c"}) {
                    (void)batch.StageCopy(source / Name(i), base / dir / Name(i));
                }
                batch.DeleteLater(source / Name(i));
            }
            batch.Place();
            (void)batch.DeleteSources();
        }
    });
    return 1e3 * t / kQuietFiles;
}

double CountersPerFile(const fs::path& base)
{
    RegistryStore registry(base / "counters-registry");
    Counters counters(registry);
    const double t = Seconds([&] {
        for (int first = 0; first < kQuietFiles; first += 128) {
            counters.BeginBatch();
            for (int i = first; i < std::min(kQuietFiles, first + 128); ++i) {
                counters.CountSent(static_cast<std::int64_t>(kFileSize));
            }
            counters.FlushBatch();
        }
    });
    return 1e3 * t / kQuietFiles;
}

double OpenTestPerFile(const fs::path& base)
{
    const fs::path folder = base / "open-test";
    MakeFiles(folder, kQuietFiles);
    OpenFileProbe probe;
    const double t = Seconds([&] {
        for (int i = 0; i < kQuietFiles; ++i) {
            (void)probe.IsFree(folder / Name(i));
        }
    });
    return 1e3 * t / kQuietFiles;
}

// The other program, until stopped: `script` run by the shell in `folder`.
std::optional<Process> StartDiskWriter(const fs::path& folder, const std::string& script)
{
    fs::create_directories(folder);
    return Process::Start("/bin/sh", {"-c", script}, folder.string());
}

// Both directions while another program works on the disk; skipped when it cannot start.
void RunBeside(const fs::path& base, const fs::path& root, const RealFtpServer& server,
               const std::string& tag, const std::string& script, const char* title)
{
    const fs::path folder = base / (tag + "-writer");
    auto writer = StartDiskWriter(folder, script);
    if (!writer) {
        std::printf("\n%s: the other program could not be started; skipped\n", title);
        return;
    }
    const Exchange x = RunExchange(base, root, server, server.Port(), tag, kBusyFiles);
    (void)writer->StopGroup(std::chrono::seconds(1));
    // Its files go with it, and with them what the system still held of them for the disk.
    fs::remove_all(folder);
    PrintExchange(title, x);
}

} // namespace

int main()
{
    if (const auto reason = RealFtpServer::VsftpdUnavailable(); !reason.empty()) {
        std::printf("bench_cycle_many_files: %s; skipped\n", reason.c_str());
        return 0;
    }
    try {
        TempFolder base;
        fs::permissions(base.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
        const fs::path root = base / "ftp";
        PrepareServerFolders(root, "quiet", kQuietFiles);
        PrepareServerFolders(root, "busy", kBusyFiles);
        PrepareServerFolders(root, "copy", kBusyFiles);
        PrepareServerFolders(root, "relay", kRelayFiles);
        const auto server = RealFtpServer::StartVsftpd(root);
        std::printf("bench_cycle_many_files: vsftpd on 127.0.0.1, passive, no encryption; the cycle's 2 s "
                    "pause between its halves is left out; flushes = fsync, fdatasync, syncfs, sync, msync, "
                    "sync_file_range calls of the agent\n");

        // A quiet disk: what the setup (and a build just before) wrote is on the disk first.
        ::sync();
        const Exchange quiet = RunExchange(base.Path(), root, *server, server->Port(), "quiet", kQuietFiles);
        PrintExchange("quiet disk", quiet);
        std::printf("  timed on their own, per file (ms): copies (3 per file, batched) %.3f, counters %.3f, "
                    "open-file test %.3f\n",
                    CopiesPerFile(base.Path()), CountersPerFile(base.Path()), OpenTestPerFile(base.Path()));

        RunBeside(base.Path(), root, *server, "busy",
                  "while :; do dd if=/dev/zero of=busy.dat bs=1M count=256 conv=fdatasync status=none; done",
                  "busy disk (another program writes 256 MiB again and again, flushing each time)");
        // As a copy of large files does: the system holds the data back, and a sync of the
        // whole file system would have to write it all.
        RunBeside(base.Path(), root, *server, "copy",
                  "while :; do dd if=/dev/zero of=copy.dat bs=1M count=1024 status=none; sleep 5; "
                  "rm -f copy.dat; done",
                  "copying disk (another program writes 1 GiB files without flushing them, as a copy does)");

        const DelayRelay relay(server->Port(), kRelayRoundTrip);
        const Exchange far = RunExchange(base.Path(), root, *server, relay.Port(), "relay", kRelayFiles);
        PrintExchange("through a relay adding 20 ms of round trip", far);
        return quiet.Send.Ok && quiet.Receive.Ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_cycle_many_files: %s\n", e.what());
        return 1;
    }
}
