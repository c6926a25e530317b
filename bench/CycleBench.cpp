// 1000 files of 4 KiB through a full send cycle and a full receive cycle (no encryption)
// against a local vsftpd, beside lftp moving the same files; then the same journal calls,
// archive copies, counter updates and FTP commands timed on their own, as shares of the
// cycle. Needs root (vsftpd).
#include "engine/AutomationControl.h"
#include "engine/Counters.h"
#include "engine/CryptCall.h"
#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "engine/ExchangeCycle.h"
#include "engine/FileMoves.h"
#include "engine/FolderLayout.h"
#include "engine/Notifications.h"
#include "ftp/FtpClient.h"
#include "journal/Journal.h"
#include "platform/EventLoop.h"
#include "platform/RegistryStore.h"
#include "platform/SoundPlayer.h"
#include "platform/SystemClock.h"
#include "settings/RuntimeSettings.h"
#include "support/RealFtpServer.h"
#include "support/RecordingDesktop.h"
#include "support/TempFolder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace ornel;
using namespace ornel::test;

namespace
{

constexpr int kFiles = 1000;
constexpr std::size_t kFileSize = 4096;

class BenchLoop final : public EventLoop
{
public:
    void ProcessPendingEvents() override {}
    // The cycle's fixed pause between its halves is left out of the figures.
    void Sleep(std::chrono::milliseconds /*duration*/) override {}
    void WaitForEvents(std::chrono::milliseconds timeout) override
    {
        std::this_thread::sleep_for(std::min(timeout, std::chrono::milliseconds(1)));
    }
    bool RunOnUiThreadAndWait(const std::function<void()>& work) override
    {
        work();
        return true;
    }
};

class NoSound final : public SoundPlayer
{
public:
    void PlayFile(const fs::path& /*file*/) override {}
    [[nodiscard]] bool Playing() const override { return false; }
    void Stop() override {}
    void Beep(int /*frequencyHz*/, std::chrono::milliseconds /*duration*/) override {}
};

class NoAutomation final : public AutomationControl
{
public:
    void SuspendForCycle() override {}
    void ResumeAfterCycle() override {}
};

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

void MakeFiles(const fs::path& folder)
{
    fs::create_directories(folder);
    const std::string content(kFileSize, 'q');
    for (int i = 0; i < kFiles; ++i) {
        WriteFile(folder / Name(i), content);
    }
}

std::size_t CountIn(const fs::path& folder)
{
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        n += e.is_regular_file() ? 1 : 0;
    }
    return n;
}

double RunLftp(const RealFtpServer& server, const std::string& commands)
{
    const std::string line = "lftp -u " + server.User() + "," + server.Password() + " -p " +
                             std::to_string(server.Port()) +
                             " -e 'set ftp:passive-mode on; set cmd:fail-exit yes; set net:max-retries 1; " +
                             commands + "; bye' 127.0.0.1 >/dev/null 2>&1";
    int status = 0;
    const double t = Seconds([&] { status = std::system(line.c_str()); });
    return status == 0 ? t : -1;
}

struct Engine
{
    explicit Engine(const fs::path& base)
        : registry(base / "registry")
    {
        fs::create_directories(base / "work");
        log.Open(base / "work");
        Journal::Create(base / "ornel_ftp.db");
        journal.Open(base / "ornel_ftp.db");
        settings.ShowBallonHint = false;
        settings.NotUseCrypt = true;
        settings.IP = "127.0.0.1";
        settings.Passive = true;
        settings.PostBoxOut = (base / "PostBoxOut").string();
        settings.PostBoxIn = (base / "PostBoxIn").string();
        fs::create_directories(settings.PostBoxOut);
        fs::create_directories(settings.PostBoxIn);
        layout.SetFtpIn("In");
        layout.SetFtpOut("Empty");
        layout.SetTempSend((base / "TempSend").string());
        layout.SetTempReciv((base / "TempReciv").string());
        layout.SetArcSend((base / "Arc/ReceivedEncrypted").string());
        layout.SetArcReciv((base / "Arc/SentEncrypted").string());
        layout.SetArcSend2((base / "Arc/Received").string());
        layout.SetArcReciv2((base / "Arc/Sent").string());
        cycle.BindFtpEvents();
    }
    ~Engine() { journal.Close(); }

    RuntimeSettings settings;
    SystemClock clock;
    BenchLoop loop;
    RecordingDesktop desktop;
    NoSound sound;
    EventLog log{desktop, clock, settings};
    Journal journal{clock, [](const std::string&) {}};
    FtpClient ftp;
    RegistryStore registry;
    EngineContext ctx{settings, log, journal, ftp, desktop, loop, clock, registry, sound};
    FolderLayout layout{ctx};
    FileMoves moves{ctx, layout};
    Notifications notifications{ctx};
    CryptCall crypt{ctx, moves, notifications};
    Counters counters{ctx};
    NoAutomation automation;
    ExchangeCycle cycle{ctx, CycleParts{layout, moves, crypt, counters, notifications}, automation};
};

// The journal calls one file causes on its way out, and on its way in.
double JournalCost(const fs::path& base, bool outgoing)
{
    SystemClock clock;
    Journal journal(clock, [](const std::string&) {});
    const fs::path file = base / (outgoing ? "j-out.db" : "j-in.db");
    Journal::Create(file);
    journal.Open(file);
    const double t = Seconds([&] {
        if (!outgoing) {
            std::string listing;
            for (int i = 0; i < kFiles; ++i) {
                listing += Name(i) + "\r\n";
            }
            journal.AddJournalListing(listing);
        }
        for (int i = 0; i < kFiles; ++i) {
            const std::string n = Name(i);
            if (outgoing) {
                journal.AddJournalRecord(n, "", JournalEvent::OutgoingFound);
                journal.AddJournalRecord(n, "/arc/" + n, JournalEvent::ArchivedPlain);
                journal.AddJournalRecord(n, "", JournalEvent::Encrypted);
                journal.AddJournalRecord(n, "/arc2/" + n, JournalEvent::ArchivedEncrypted);
                journal.AddJournalRecord(n, "", JournalEvent::Uploaded);
            } else {
                journal.AddJournalRecord(n, "", JournalEvent::Downloaded);
                journal.AddJournalRecord(n, "/arc/" + n, JournalEvent::ArchivedEncrypted);
                journal.AddJournalRecord(n, "", JournalEvent::Decrypted);
                journal.AddJournalRecord(n, "/arc2/" + n, JournalEvent::ArchivedPlain);
            }
        }
    });
    journal.Close();
    return t;
}

// Two archive copies per file, as either half makes.
double ArchiveCost(Engine& engine, const fs::path& base, const std::string& tag)
{
    const fs::path source = base / ("arc-src-" + tag);
    MakeFiles(source);
    const std::string a = (base / ("arc-a-" + tag)).string();
    const std::string b = (base / ("arc-b-" + tag)).string();
    fs::create_directories(a);
    fs::create_directories(b);
    return Seconds([&] {
        for (int i = 0; i < kFiles; ++i) {
            (void)engine.moves.BackupFile(source / Name(i), a + "/");
            (void)engine.moves.BackupFile(source / Name(i), b + "/");
        }
    });
}

// The FTP commands of the send half (temp-file look-up, STOR, SIZE) and of the receive half
// (two listings, then SIZE, RETR, DELE), on a connection of their own.
double NetworkCost(const RealFtpServer& server, const fs::path& base, bool outgoing)
{
    FtpClient ftp;
    ftp.SetHost("127.0.0.1");
    ftp.SetPort(server.Port());
    ftp.SetUsername(server.User());
    ftp.SetPassword(server.Password());
    ftp.SetPassive(true);
    ftp.Connect();
    const fs::path local = base / (outgoing ? "net-src" : "net-dst");
    if (outgoing) {
        MakeFiles(local);
    } else {
        fs::create_directories(local);
    }
    const double t = Seconds([&] {
        std::vector<std::string> lines;
        if (outgoing) {
            ftp.ChangeDir("NetIn");
            for (int i = 0; i < kFiles; ++i) {
                const std::string n = Name(i);
                try {
                    ftp.List(lines, ".in." + n + ".", false);
                } catch (const std::exception&) {
                }
                ftp.Put(local / n, n, false);
                (void)ftp.Size(n);
            }
        } else {
            ftp.ChangeDir("NetOut");
            ftp.List(lines, "*.*", true);
            ftp.List(lines, "*.*", false);
            for (const auto& n : lines) {
                (void)ftp.Size(n);
                ftp.Get(n, local / n, true, false);
                ftp.Delete(n);
            }
        }
        ftp.ChangeDirUp();
    });
    ftp.Disconnect();
    return t;
}

void Row(const char* what, double seconds, double cycle)
{
    std::printf("    %-40s %8.3f s  %5.1f %%\n", what, seconds, 100.0 * seconds / cycle);
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
        for (const char* dir : {"In", "Empty", "LftpIn", "NetIn"}) {
            fs::create_directories(root / dir);
        }
        MakeFiles(root / "Out");
        MakeFiles(root / "LftpOut");
        MakeFiles(root / "NetOut");
        const auto server = RealFtpServer::StartVsftpd(root);

        Engine engine(base / "agent");
        engine.settings.Port = server->Port();
        engine.settings.User = server->User();
        engine.settings.Password = server->Password();

        MakeFiles(engine.settings.PostBoxOut);
        const double send = Seconds([&] { engine.cycle.RunSendReceive(); });
        const bool sendOk = !engine.cycle.LastCycleFailed() && CountIn(root / "In") == kFiles;

        engine.layout.SetFtpOut("Out");
        const double receive = Seconds([&] { engine.cycle.RunReceiveSend(); });
        const bool receiveOk =
            !engine.cycle.LastCycleFailed() && CountIn(engine.settings.PostBoxIn) == kFiles;

        const fs::path lftpUp = base / "lftp-up";
        const fs::path lftpDown = base / "lftp-down";
        MakeFiles(lftpUp);
        fs::create_directories(lftpDown);
        const double lftpSend = RunLftp(*server, "cd LftpIn; mput " + lftpUp.string() + "/*");
        const double lftpReceive = RunLftp(*server, "lcd " + lftpDown.string() + "; cd LftpOut; mget -E *");

        const double journalOut = JournalCost(base.Path(), true);
        const double journalIn = JournalCost(base.Path(), false);
        const double archiveOut = ArchiveCost(engine, base.Path(), "out");
        const double archiveIn = ArchiveCost(engine, base.Path(), "in");
        const double netOut = NetworkCost(*server, base.Path(), true);
        const double netIn = NetworkCost(*server, base.Path(), false);
        Counters counters(engine.registry);
        const double countersOut = Seconds([&] {
            for (int i = 0; i < kFiles; ++i) {
                counters.CountSent(static_cast<std::int64_t>(kFileSize));
            }
        });

        const fs::path probe = base / "exclusive";
        MakeFiles(probe);
        const double exclusive = Seconds([&] {
            for (int i = 0; i < kFiles; ++i) {
                (void)FileMoves::CanOpenExclusive((probe / Name(i)).string());
            }
        });

        std::printf("bench_cycle_many_files: %d files of %zu bytes, vsftpd on 127.0.0.1, passive, "
                    "no encryption; the cycle's 2 s pause between its halves is left out\n",
                    kFiles, kFileSize);
        std::printf("  %-22s %9s %10s %10s %8s\n", "", "agent s", "agent f/s", "lftp f/s", "ratio");
        const auto line = [](const char* what, double ours, double theirs, bool ok) {
            const double oursRate = kFiles / ours;
            if (theirs > 0) {
                const double theirRate = kFiles / theirs;
                std::printf("  %-22s %9.3f %10.1f %10.1f %8.2f%s\n", what, ours, oursRate, theirRate,
                            oursRate / theirRate, ok ? "" : "  (agent run incomplete)");
            } else {
                std::printf("  %-22s %9.3f %10.1f %10s %8s%s\n", what, ours, oursRate, "failed", "-",
                            ok ? "" : "  (agent run incomplete)");
            }
        };
        line("send (mput)", send, lftpSend, sendOk);
        line("receive (mget -E)", receive, lftpReceive, receiveOk);
        std::printf("  the same work timed on its own, as a share of the cycle:\n");
        std::printf("  send cycle %.3f s\n", send);
        Row("journal (5 records per file)", journalOut, send);
        Row("archive copies (2 per file)", archiveOut, send);
        Row("network (NLST, STOR, SIZE)", netOut, send);
        Row("transfer counters (registry)", countersOut, send);
        Row("still-open checks (1 per file)", exclusive, send);
        Row("the rest (moves, log, listings)",
            send - journalOut - archiveOut - netOut - countersOut - exclusive, send);
        std::printf("  receive cycle %.3f s\n", receive);
        Row("journal (listing + 4 per file)", journalIn, receive);
        Row("archive copies (2 per file)", archiveIn, receive);
        Row("network (LIST, NLST, SIZE, RETR, DELE)", netIn, receive);
        Row("transfer counters (registry)", countersOut, receive);
        Row("the rest (moves, log, listings)", receive - journalIn - archiveIn - netIn - countersOut,
            receive);
        return sendOk && receiveOk ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_cycle_many_files: %s\n", e.what());
        return 1;
    }
}
