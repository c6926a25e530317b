// End-to-end cycles against real FTP servers on 127.0.0.1: vsftpd (root only) and the demo's
// pyftpdlib server. The cycle asks the server to match "*.*" (LIST/NLST with a mask), which
// plain pyftpdlib cannot; the demo's server adds that and the Windows-1251 wire.
#include "engine/CycleFixture.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"
#include "support/RealFtpServer.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace ornel::test
{
namespace
{

namespace fs = std::filesystem;

enum class ServerKind
{
    Vsftpd,
    DemoPyftpdlib,
};

class ExchangeCycleE2E : public ::testing::TestWithParam<ServerKind>
{
protected:
    void SetUp() override
    {
        if (GetParam() == ServerKind::Vsftpd) {
            if (const auto reason = RealFtpServer::VsftpdUnavailable(); !reason.empty()) {
                GTEST_SKIP() << reason;
            }
        }
        if (GetParam() == ServerKind::DemoPyftpdlib && !RealFtpServer::PyftpdlibAvailable()) {
            GTEST_SKIP() << "pyftpdlib is not installed";
        }
        // The server's account must be able to reach its root inside the private temp folder.
        fs::permissions(serverFolder.Path(), fs::perms::owner_all | fs::perms::group_read |
                                                 fs::perms::group_exec | fs::perms::others_read |
                                                 fs::perms::others_exec);
        fs::create_directories(serverRoot / "In");
        fs::create_directories(serverRoot / "Out");
        server = GetParam() == ServerKind::Vsftpd ? RealFtpServer::StartVsftpd(serverRoot)
                                                  : RealFtpServer::StartDemoServer(serverRoot);
        f.UseServer(server->Port(), server->User(), server->Password());
    }

    void StopServer() { server.reset(); }
    [[nodiscard]] std::string ServerLog() const { return server->Log(); }
    // vsftpd stores the names as they arrive (Windows-1251); the demo server decodes them.
    [[nodiscard]] std::string OnDisk(const std::string& name) const
    {
        return GetParam() == ServerKind::Vsftpd ? Utf8ToCp1251(name) : name;
    }
    [[nodiscard]] std::string FromDisk(const std::string& name) const
    {
        return GetParam() == ServerKind::Vsftpd ? Cp1251ToUtf8(name) : name;
    }

    [[nodiscard]] std::string Moment() const { return FormatDateTime("dd/mm/yyyy hh:nn:ss", f.clock.Now()); }

    TempFolder serverFolder;
    fs::path serverRoot = serverFolder / "ftp";
    std::unique_ptr<RealFtpServer> server;
    CycleFixture f;
};

TEST_P(ExchangeCycleE2E, CycleWithoutFilesLogsTheTypicalLinesAndPutsEverythingBack)
{
    const std::string start = Moment();
    f.cycle.RunSendReceive();
    const std::string stop = Moment();

    ASSERT_GE(f.Lines().size(), 2u);
    const std::vector<std::string> expected = {
        "00:00:00 Мониторинг: FTP выключен, Каталога PostBox выключен",
        "Старт передача/прием " + start,
        "FTP Подключение....",
        "FTP Подключенно...",
        "Папка: " + f.postBoxOut.string(),
        "Нет файлов",
        "Прием",
        "На FTP нет файлов",
        "FTP Отключение...",
        "FTP Отключенно",
        "Стоп передача/прием " + stop,
        "00:00:02 Мониторинг: FTP выключен, Каталога PostBox выключен",
    };
    EXPECT_EQ(f.Lines(), expected) << ServerLog();

    EXPECT_EQ(f.automation.Calls, (std::vector<std::string>{"Suspend", "Resume"}));
    EXPECT_EQ(f.desktop.AnimationChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(f.desktop.TrayIconIndex, 0);
    // The pause lies between the halves even when the first had nothing to do.
    EXPECT_EQ(f.loop.Sleeps(), (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(2000)}));
    EXPECT_FALSE(f.cycle.IsConnected());
    EXPECT_FALSE(f.cycle.Running());
    EXPECT_FALSE(f.cycle.LastCycleFailed());
    EXPECT_TRUE(f.journal.TodayRows().empty());
}

TEST_P(ExchangeCycleE2E, SendReceiveWithTheEncryptionProgramCarriesFilesBothWays)
{
    f.UseCrypt();
    const std::string report = "Отчёт.txt";
    WriteFile(f.postBoxOut / report, "отчёт участника\r\n");
    WriteFile(f.postBoxOut / "order.bin", std::string(70000, '\x5a'));

    // The depository's answer, encrypted for this participant with the same program.
    TempFolder outside;
    WriteFile(outside / "plain/answer.txt", "ответ депозитария\r\n");
    const std::string params = "-T -I " + (outside / "plain").string() + "/*.* -O " +
                               (outside / "enc").string() + " -W " + f.settings.KodSend + " -P " +
                               f.settings.PIN + " -PU " + f.settings.UPIN;
    fs::create_directories(outside / "enc");
    const ProgramRun sealed =
        f.crypt.RunAndWait(f.settings.CryptProgNew, params, "", 3, std::chrono::minutes(1));
    ASSERT_EQ(sealed.How, ProgramRun::Outcome::Ended);
    ASSERT_EQ(sealed.ExitCode, 0);
    const auto encrypted = CycleFixture::FilesIn(outside / "enc");
    ASSERT_EQ(encrypted.size(), 1u);
    fs::copy_file(outside / "enc" / encrypted[0], serverRoot / "Out" / encrypted[0]);

    f.cycle.RunSendReceive();
    const std::string log = f.LogText();
    ASSERT_FALSE(f.cycle.LastCycleFailed()) << log;

    // Outgoing: the server holds the two encrypted files, nothing waits locally. Names reach
    // the server in Windows-1251.
    std::vector<std::string> sent;
    for (const auto& name : CycleFixture::FilesIn(serverRoot / "In")) {
        sent.push_back(FromDisk(name));
    }
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(sent.size(), 2u) << log;
    EXPECT_TRUE(CycleFixture::FilesIn(f.postBoxOut).empty());
    EXPECT_TRUE(CycleFixture::FilesIn(f.tempSend).empty());
    EXPECT_TRUE(CycleFixture::FilesIn(f.layout.TempSendPlain()).empty());
    for (const auto& name : sent) {
        EXPECT_NE(ReadFile(serverRoot / "In" / OnDisk(name)), "отчёт участника\r\n") << name;
    }
    // Archives of both stages.
    const fs::path day = f.Today();
    EXPECT_EQ(CycleFixture::FilesIn(f.arcReciv2 / day), (std::vector<std::string>{"order.bin", report}));
    EXPECT_EQ(CycleFixture::FilesIn(f.arcReciv / day), sent);

    // Incoming: decrypted into PostBoxIn, deleted on the server, archived both ways.
    EXPECT_TRUE(CycleFixture::FilesIn(serverRoot / "Out").empty());
    EXPECT_EQ(CycleFixture::FilesIn(f.postBoxIn), (std::vector<std::string>{"answer.txt"})) << log;
    EXPECT_EQ(ReadFile(f.postBoxIn / "answer.txt"), "ответ депозитария\r\n");
    EXPECT_EQ(CycleFixture::FilesIn(f.arcSend / day), encrypted);
    EXPECT_EQ(CycleFixture::FilesIn(f.arcSend2 / day), (std::vector<std::string>{"answer.txt"}));
    EXPECT_TRUE(CycleFixture::FilesIn(f.tempReciv).empty());
    EXPECT_TRUE(CycleFixture::FilesIn(f.layout.TempRecivPlain()).empty());

    // Journal: the outgoing plain files are OUT with their plain archive path; each sent
    // file is uploaded (state true) with its encrypted archive path; the answer is IN.
    std::map<std::string, FileListRow> rows;
    for (const auto& row : f.journal.TodayRows()) {
        rows[row.FileName] = row;
    }
    ASSERT_TRUE(rows.count(report)) << log;
    EXPECT_EQ(rows[report].Direction, "OUT");
    EXPECT_EQ(rows[report].BackupPath, f.layout.ArcReciv2DayFolder() + "/" + report);
    for (const auto& name : sent) {
        ASSERT_TRUE(rows.count(name));
        EXPECT_EQ(rows[name].State, std::optional<bool>(true));
        EXPECT_EQ(rows[name].BackupPathCrypt, f.layout.ArcRecivDayFolder() + "/" + name);
    }
    ASSERT_TRUE(rows.count(encrypted[0]));
    EXPECT_EQ(rows[encrypted[0]].Direction, "IN");
    EXPECT_EQ(rows[encrypted[0]].State, std::optional<bool>(true));
    EXPECT_EQ(rows[encrypted[0]].BackupPathCrypt, f.layout.ArcSendDayFolder() + "/" + encrypted[0]);

    const TransferTotals totals = f.counters.Read();
    EXPECT_EQ(totals.FileSendCount, 2);
    EXPECT_EQ(totals.FileReciveCount, 1);
    std::uintmax_t sentBytes = 0;
    for (const auto& name : sent) {
        sentBytes += fs::file_size(serverRoot / "In" / OnDisk(name));
    }
    EXPECT_DOUBLE_EQ(totals.FileSendSize, static_cast<double>(sentBytes) / 1024.0);
    EXPECT_GE(f.IndexOf("Прием"), f.IndexOf("Передача"));
}

TEST_P(ExchangeCycleE2E, ReceiveSendWithoutEncryptionRunsTheIncomingHalfFirst)
{
    WriteFile(f.postBoxOut / "out1.txt", "first");
    WriteFile(serverRoot / "Out/in1.txt", "from the server");
    WriteFile(serverRoot / "Out/in2.txt", std::string(100000, 'x'));
    fs::create_directories(serverRoot / "Out/subfolder"); // not matched by "*.*", never touched

    f.cycle.RunReceiveSend();
    const std::string log = f.LogText();
    ASSERT_FALSE(f.cycle.LastCycleFailed()) << log;

    EXPECT_TRUE(f.Logged("Старт прием/передача 09.12.2025 00:00:00")) << log;
    EXPECT_LT(f.IndexOf("Прием"), f.IndexOf("Передача"));
    EXPECT_TRUE(f.Logged("Всего файлов:2")) << log;
    EXPECT_TRUE(f.Logged("Принимаем файл in2.txt 100000 байт")) << log;
    EXPECT_TRUE(f.Logged("Передаем файл out1.txt 5 байт")) << log;
    EXPECT_TRUE(f.Logged("Всего файлов: 1")) << log;
    EXPECT_EQ(f.Lines()[f.Lines().size() - 2].rfind("Стоп прием/передача ", 0), 0u);

    EXPECT_EQ(ReadFile(serverRoot / "In/out1.txt"), "first");
    EXPECT_EQ(ReadFile(f.postBoxIn / "in1.txt"), "from the server");
    EXPECT_EQ(ReadFile(f.postBoxIn / "in2.txt"), std::string(100000, 'x'));
    EXPECT_TRUE(CycleFixture::FilesIn(serverRoot / "Out").empty());
    EXPECT_TRUE(fs::is_directory(serverRoot / "Out/subfolder"));
    // The progress bar followed the transfers and was put back at the end of each.
    EXPECT_EQ(f.desktop.ProgressPosition, 0);
    EXPECT_NE(std::find(f.desktop.ProgressPositions.begin(), f.desktop.ProgressPositions.end(), 100000),
              f.desktop.ProgressPositions.end());
}

TEST_P(ExchangeCycleE2E, FilesLeftByAnEarlierCycleAreTakenUpWithEmptyPostBoxAndServer)
{
    // A download that was not yet decrypted, and a plain file stranded before encryption:
    // the latter alone does not make the outgoing half run.
    WriteFile(f.tempReciv / "fetched.txt", "downloaded earlier");
    WriteFile(fs::path(f.layout.TempSendPlain()) / "stranded.txt", "plain");

    f.cycle.RunReceiveSend();
    ASSERT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();
    EXPECT_TRUE(f.Logged("На FTP нет файлов"));
    EXPECT_EQ(ReadFile(f.postBoxIn / "fetched.txt"), "downloaded earlier") << f.LogText();
    EXPECT_TRUE(CycleFixture::FilesIn(f.tempReciv).empty());
    EXPECT_FALSE(f.Logged("Передача"));
    EXPECT_TRUE(fs::exists(fs::path(f.layout.TempSendPlain()) / "stranded.txt"));

    // An encrypted file whose upload failed earlier makes it run, and takes the stranded one along.
    WriteFile(f.tempSend / "waiting.enc", "encrypted earlier");
    f.cycle.RunReceiveSend();
    ASSERT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();
    EXPECT_EQ(ReadFile(serverRoot / "In/waiting.enc"), "encrypted earlier") << f.LogText();
    EXPECT_EQ(ReadFile(serverRoot / "In/stranded.txt"), "plain");
    EXPECT_TRUE(CycleFixture::FilesIn(f.tempSend).empty());
    EXPECT_TRUE(CycleFixture::FilesIn(f.layout.TempSendPlain()).empty());
}

TEST_P(ExchangeCycleE2E, ADownloadReplacesOnlyItsOwnCopyWaitingForDecryption)
{
    // An earlier download of answer.txt that was not decrypted, and a new answer.txt on the
    // server: the waiting one is delivered, the new one stays on the server for the next cycle.
    WriteFile(f.tempReciv / "answer.txt", "the first answer");
    WriteFile(serverRoot / "Out/answer.txt", "the second answer");
    // The same with sizes that do not tell the two apart.
    WriteFile(f.tempReciv / "notice.txt", "notice one");
    WriteFile(serverRoot / "Out/notice.txt", "notice two");
    // A download cut short by a crash after its name, before its DELE: the same file again.
    WriteFile(f.tempReciv / "receipt.txt", "the receipt");
    WriteFile(serverRoot / "Out/receipt.txt", "the receipt");

    f.cycle.RunReceiveSend();
    ASSERT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();
    EXPECT_EQ(ReadFile(f.postBoxIn / "answer.txt"), "the first answer") << f.LogText();
    EXPECT_EQ(ReadFile(serverRoot / "Out/answer.txt"), "the second answer");
    EXPECT_FALSE(f.Logged("Принимаем файл answer.txt 17 байт")); // its size told it: not fetched
    EXPECT_TRUE(f.Logged("Файл answer.txt оставлен на FTP: в " + f.tempReciv.string() +
                         " ждёт расшифровки другой файл с этим именем"))
        << f.LogText();
    EXPECT_EQ(ReadFile(f.postBoxIn / "notice.txt"), "notice one");
    EXPECT_EQ(ReadFile(serverRoot / "Out/notice.txt"), "notice two");
    EXPECT_TRUE(f.Logged("Файл notice.txt оставлен на FTP: в " + f.tempReciv.string() +
                         " ждёт расшифровки другой файл с этим именем"));
    EXPECT_EQ(ReadFile(f.postBoxIn / "receipt.txt"), "the receipt");
    EXPECT_FALSE(fs::exists(serverRoot / "Out/receipt.txt"));
    EXPECT_EQ(CycleFixture::FilesIn(f.arcSend / f.Today()), std::vector<std::string>{"receipt.txt"});
    EXPECT_TRUE(CycleFixture::FilesIn(f.tempReciv).empty());

    // The back office took the first ones; the second ones come now.
    fs::remove(f.postBoxIn / "answer.txt");
    fs::remove(f.postBoxIn / "notice.txt");
    f.cycle.RunReceiveSend();
    ASSERT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();
    EXPECT_EQ(ReadFile(f.postBoxIn / "answer.txt"), "the second answer");
    EXPECT_EQ(ReadFile(f.postBoxIn / "notice.txt"), "notice two");
    EXPECT_TRUE(CycleFixture::FilesIn(serverRoot / "Out").empty());
}

TEST_P(ExchangeCycleE2E, WorkInProgressFilesAreNeverExchangedAndGoOnceStale)
{
    // What a copy or an encryption cut short leaves behind, in every working folder.
    f.UseCrypt();
    const std::string part = std::string(kPartialPrefix) + "00112233aabbccdd";
    const std::vector<fs::path> working = {f.tempSend, f.layout.TempSendPlain(), f.tempReciv,
                                           f.layout.TempRecivPlain()};
    for (const fs::path& folder : working) {
        WriteFile(folder / part, "cut short");
    }
    WriteFile(f.postBoxOut / "order.txt", "поручение\r\n");

    f.cycle.RunSendReceive();
    ASSERT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();

    EXPECT_EQ(CycleFixture::FilesIn(serverRoot / "In"), std::vector<std::string>{"order.txt"}) << ServerLog();
    EXPECT_EQ(f.counters.Read().FileSendCount, 1);
    EXPECT_EQ(f.LogText().find(part), std::string::npos) << f.LogText();
    for (const FileListRow& row : f.journal.TodayRows()) {
        EXPECT_EQ(row.FileName, "order.txt");
    }
    for (const auto& entry : fs::recursive_directory_iterator(f.root / "Arc")) {
        EXPECT_NE(entry.path().filename(), part) << entry.path();
    }
    // Fresh ones may belong to a copy still under way: they stay.
    for (const fs::path& folder : working) {
        EXPECT_TRUE(fs::exists(folder / part)) << folder;
        fs::last_write_time(folder / part, fs::file_time_type::clock::now() - std::chrono::hours(2));
    }

    // Nobody has written to them for two hours: the next cycle clears them.
    f.cycle.RunSendReceive();
    ASSERT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();
    for (const fs::path& folder : working) {
        EXPECT_FALSE(fs::exists(folder / part)) << folder;
    }
    EXPECT_EQ(CycleFixture::FilesIn(serverRoot / "In"), std::vector<std::string>{"order.txt"});
}

TEST_P(ExchangeCycleE2E, AConnectionFailureRunsNeitherHalfAndTouchesNoFile)
{
    StopServer(); // nobody listens on the port any more
    WriteFile(f.postBoxOut / "a.txt", "a");
    WriteFile(f.tempSend / "b.enc", "b");
    WriteFile(f.tempReciv / "c.enc", "c");

    f.cycle.RunSendReceive();

    const int start =
        f.IndexOf("Старт передача/прием " + FormatDateTime("dd/mm/yyyy hh:nn:ss", f.clock.Now()));
    int error = -1;
    int stop = -1;
    for (int i = 0; i < static_cast<int>(f.Lines().size()); ++i) {
        if (f.Lines()[i].rfind("Ошибка: ", 0) == 0 && error < 0) {
            error = i;
        }
        if (f.Lines()[i].rfind("Стоп передача/прием ", 0) == 0) {
            stop = i;
        }
    }
    EXPECT_GE(start, 0) << f.LogText();
    EXPECT_GT(error, start);
    EXPECT_GT(stop, error);
    EXPECT_FALSE(f.Logged("Передача"));
    EXPECT_FALSE(f.Logged("Прием"));
    EXPECT_TRUE(f.loop.Sleeps().empty());
    EXPECT_TRUE(f.cycle.LastCycleFailed());
    EXPECT_EQ(f.automation.Calls, (std::vector<std::string>{"Suspend", "Resume"}));

    EXPECT_EQ(ReadFile(f.postBoxOut / "a.txt"), "a");
    EXPECT_EQ(ReadFile(f.tempSend / "b.enc"), "b");
    EXPECT_EQ(ReadFile(f.tempReciv / "c.enc"), "c");
    EXPECT_FALSE(fs::exists(f.arcReciv2 / f.Today() / "a.txt"));
    EXPECT_EQ(f.counters.Read().FileSendCount, 0);
}

TEST_P(ExchangeCycleE2E, ArchiveNameClashesGiveDatedCopiesAndNothingIsOverwritten)
{
    const fs::path day = f.Today();
    WriteFile(f.arcReciv2 / day / "report.txt", "yesterday's report");
    WriteFile(f.arcSend / day / "answer.txt", "an older answer");
    WriteFile(f.postBoxOut / "report.txt", "today's report");
    WriteFile(serverRoot / "Out/answer.txt", "new answer");

    f.cycle.RunSendReceive();
    ASSERT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();

    const auto plainArchive = CycleFixture::FilesIn(f.arcReciv2 / day);
    ASSERT_EQ(plainArchive.size(), 2u);
    EXPECT_EQ(ReadFile(f.arcReciv2 / day / "report.txt"), "yesterday's report");
    const std::string dated = plainArchive[0] == "report.txt" ? plainArchive[1] : plainArchive[0];
    EXPECT_EQ(dated.rfind("report", 0), 0u);
    EXPECT_EQ(dated.substr(dated.size() - 4), ".txt");
    EXPECT_EQ(ReadFile(f.arcReciv2 / day / dated), "today's report");

    const auto encArchive = CycleFixture::FilesIn(f.arcSend / day);
    ASSERT_EQ(encArchive.size(), 2u);
    EXPECT_EQ(ReadFile(f.arcSend / day / "answer.txt"), "an older answer");
    EXPECT_EQ(ReadFile(f.postBoxIn / "answer.txt"), "new answer");
    EXPECT_EQ(ReadFile(serverRoot / "In/report.txt"), "today's report");
}

TEST_P(ExchangeCycleE2E, ALeftoverTemporaryUploadIsDeletedBeforeTheUpload)
{
    WriteFile(f.tempSend / "x.bin", "whole file");
    WriteFile(serverRoot / "In/.in.x.bin.", "half a fi");
    WriteFile(serverRoot / "In/.in.other.bin.", "someone else's");

    f.cycle.RunSendReceive();
    ASSERT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();

    EXPECT_TRUE(f.Logged("Найден временный файл .in.x.bin."));
    EXPECT_TRUE(f.Logged("Найден временный файл .in.x.bin. удален"));
    EXPECT_LT(f.IndexOf("Найден временный файл .in.x.bin. удален"), f.IndexOf("Передали файл x.bin"));
    EXPECT_FALSE(fs::exists(serverRoot / "In/.in.x.bin."));
    EXPECT_TRUE(fs::exists(serverRoot / "In/.in.other.bin."));
    EXPECT_EQ(ReadFile(serverRoot / "In/x.bin"), "whole file");
}

TEST_P(ExchangeCycleE2E, AReadOnlyFileInTempSendIsListedEveryCycleButNeverSent)
{
    WriteFile(f.tempSend / "locked.enc", "read only");
    fs::permissions(f.tempSend / "locked.enc", fs::perms::owner_read | fs::perms::group_read);
    WriteFile(f.tempSend / "free.enc", "free");

    for (int round = 0; round < 2; ++round) {
        f.cycle.RunSendReceive();
        EXPECT_TRUE(f.Logged("locked.enc")) << f.LogText();
    }
    EXPECT_FALSE(fs::exists(serverRoot / "In/locked.enc"));
    EXPECT_EQ(ReadFile(f.tempSend / "locked.enc"), "read only");
    EXPECT_EQ(ReadFile(serverRoot / "In/free.enc"), "free");
    EXPECT_FALSE(f.Logged("Передаем файл locked.enc 9 байт"));
    EXPECT_EQ(f.counters.Read().FileSendCount, 1);
}

TEST_P(ExchangeCycleE2E, ALocalNameWithoutAWindows1251FormStaysWithAnErrorLine)
{
    const std::string name = "\xe2\x98\x83-snowman.enc"; // U+2603
    WriteFile(f.tempSend / name, "snow");
    WriteFile(f.tempSend / "plain.enc", "fine");

    f.cycle.RunSendReceive();

    EXPECT_TRUE(f.cycle.LastCycleFailed());
    bool errorLine = false;
    for (const auto& l : f.Lines()) {
        errorLine = errorLine || (l.rfind("Ошибка: ", 0) == 0 && l.find("snowman") != std::string::npos);
    }
    EXPECT_TRUE(errorLine) << f.LogText();
    EXPECT_TRUE(fs::exists(f.tempSend / name));
    EXPECT_FALSE(fs::exists(serverRoot / "In" / name));
    EXPECT_EQ(ReadFile(serverRoot / "In/plain.enc"), "fine");
    EXPECT_TRUE(f.Logged("Прием")) << "an odd name must not end the cycle";
}

TEST_P(ExchangeCycleE2E, AMenuCycleDuringACycleIsRefusedAndAStopEndsItBetweenFiles)
{
    for (const char* name : {"a.enc", "b.enc", "c.enc"}) {
        WriteFile(f.tempSend / name, name);
    }
    WriteFile(serverRoot / "Out/wait.txt", "stays on the server");
    bool wasRunning = false;
    // Served at every event point of the cycle until the first upload is under way.
    std::function<void()> poll = [&] {
        if (f.cycle.CurrentFile().empty()) {
            f.loop.Post(poll);
            return;
        }
        wasRunning = f.cycle.Running();
        f.cycle.RunReceiveSend();
        f.cycle.RequestStop();
    };
    f.loop.Post(poll);

    f.cycle.RunSendReceive();

    EXPECT_TRUE(wasRunning);
    EXPECT_FALSE(f.cycle.Running());
    EXPECT_FALSE(f.Logged("Старт прием/передача " + FormatDateTime("dd/mm/yyyy hh:nn:ss", f.clock.Now())));
    EXPECT_EQ(f.automation.Calls, (std::vector<std::string>{"Suspend", "Resume"}));
    // The file in transfer was finished, the others wait, the second half did not run.
    EXPECT_EQ(CycleFixture::FilesIn(serverRoot / "In"), (std::vector<std::string>{"a.enc"})) << f.LogText();
    EXPECT_EQ(CycleFixture::FilesIn(f.tempSend), (std::vector<std::string>{"b.enc", "c.enc"}));
    EXPECT_FALSE(f.Logged("Прием"));
    EXPECT_TRUE(fs::exists(serverRoot / "Out/wait.txt"));
    EXPECT_TRUE(f.Lines()[f.Lines().size() - 2].rfind("Стоп передача/прием ", 0) == 0);

    // The stop request belonged to that cycle only.
    f.cycle.RunSendReceive();
    EXPECT_TRUE(CycleFixture::FilesIn(f.tempSend).empty()) << f.LogText();
    EXPECT_FALSE(fs::exists(serverRoot / "Out/wait.txt")) << f.LogText();
}

INSTANTIATE_TEST_SUITE_P(Servers, ExchangeCycleE2E,
                         ::testing::Values(ServerKind::Vsftpd, ServerKind::DemoPyftpdlib),
                         [](const ::testing::TestParamInfo<ServerKind>& param) {
                             return param.param == ServerKind::Vsftpd ? std::string("vsftpd")
                                                                      : std::string("pyftpdlib");
                         });

} // namespace
} // namespace ornel::test
