// Transfers against a scripted server: failures in the middle of a list, unsafe listed names,
// the server's own close, sizes beyond 32 bits.
#include "engine/CycleFixture.h"
#include "engine/Incoming.h"
#include "platform/CrashPoint.h"
#include "platform/FileSystem.h"
#include "support/ScriptedFtpServer.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>

namespace ornel::test
{
namespace
{

namespace fs = std::filesystem;

bool Sent(const ScriptedFtpServer& server, const std::string& line)
{
    const auto received = server.Received();
    return std::find(received.begin(), received.end(), line) != received.end();
}

int ErrorLines(const CycleFixture& f)
{
    return static_cast<int>(std::count_if(f.Lines().begin(), f.Lines().end(),
                                          [](const std::string& l) { return l.rfind("Ошибка: ", 0) == 0; }));
}

// Login, the listings of Out (`detailed` lines, then `names`), and the complete download of a.txt.
ScriptedFtpServer& ListAndFetchA(ScriptedFtpServer& server, const std::string& detailed,
                                 const std::string& names)
{
    return server.StandardLogin()
        .On("CWD .", "250 OK")
        .On("CWD Out", "250 OK")
        .On("TYPE A", "200 OK")
        .Expect("PASV")
        .EnterPassive()
        .On("LIST *.*", "150 Here it comes")
        .SendData(detailed)
        .Reply("226 Done")
        .On("TYPE I", "200 OK")
        .On("TYPE A", "200 OK")
        .Expect("PASV")
        .EnterPassive()
        .On("NLST *.*", "150 Here it comes")
        .SendData(names)
        .Reply("226 Done")
        .On("TYPE I", "200 OK")
        .On("SIZE a.txt", "213 5")
        .Expect("PASV")
        .EnterPassive()
        .On("RETR a.txt", "150 Sending")
        .SendData("hello")
        .Reply("226 Done");
}

// The listings announcing a.txt and b.txt, a.txt fetched, b.txt asked for. a.txt is deleted
// on the server when its batch ends, after b.txt.
ScriptedFtpServer& ListTwoAndFetchFirst(ScriptedFtpServer& server)
{
    return ListAndFetchA(server,
                         "-rw-r--r-- 1 u g 5 Jan 1 00:00 a.txt\r\n-rw-r--r-- 1 u g 10 Jan 1 00:00 b.txt\r\n",
                         "a.txt\r\nb.txt\r\n")
        .On("SIZE b.txt", "213 10")
        .Expect("PASV")
        .EnterPassive()
        .On("RETR b.txt", "150 Sending");
}

void ExpectFirstKeptSecondLeftOnServer(CycleFixture& f, ScriptedFtpServer& server)
{
    ASSERT_TRUE(server.WaitFinished()) << f.LogText();
    EXPECT_TRUE(server.Mismatches().empty()) << ::testing::PrintToString(server.Received());
    EXPECT_FALSE(Sent(server, "DELE b.txt"));
    // The climb back out of Out still happens before the error reaches the cycle.
    EXPECT_TRUE(Sent(server, "CDUP"));
    // a.txt was complete and stays for decryption in the next cycle; nothing of b.txt remains.
    EXPECT_EQ(CycleFixture::FilesIn(f.tempReciv), (std::vector<std::string>{"a.txt"}));
    EXPECT_EQ(ReadFile(f.tempReciv / "a.txt"), "hello");
    EXPECT_EQ(CycleFixture::FilesIn(f.arcSend / f.Today()), (std::vector<std::string>{"a.txt"}));
    EXPECT_TRUE(CycleFixture::FilesIn(f.postBoxIn).empty());
    EXPECT_EQ(ErrorLines(f), 2) << f.LogText(); // the transfer's own line and the cycle's
    EXPECT_FALSE(f.Logged("Передача")) << "the error ends the whole cycle";
    EXPECT_EQ(f.counters.Read().FileReciveCount, 2);
    EXPECT_TRUE(f.cycle.LastCycleFailed());
}

TEST(TransferScripted, ADownloadShorterThanItsSizeIsNotKeptNorDeletedOnTheServer)
{
    CycleFixture f;
    ScriptedFtpServer server;
    ListTwoAndFetchFirst(server)
        .SendData("short")
        .Reply("226 Done")
        .On("DELE a.txt", "250 Deleted")
        .On("CDUP", "250 OK")
        .On("QUIT", "221 Bye");
    f.UseServer(server.Port());
    server.Start();

    f.cycle.RunReceiveSend();

    ExpectFirstKeptSecondLeftOnServer(f, server);
    EXPECT_TRUE(f.Logged("Ошибка: Файл b.txt принят не полностью: 5 из 10 байт")) << f.LogText();
}

TEST(TransferScripted, ADownloadEndingWithAnErrorReplyLeavesNoPartialFile)
{
    CycleFixture f;
    ScriptedFtpServer server;
    ListTwoAndFetchFirst(server)
        .SendData("hello")
        .Reply("426 Connection closed; transfer aborted.")
        .On("DELE a.txt", "250 Deleted")
        .On("CDUP", "250 OK")
        .On("QUIT", "221 Bye");
    f.UseServer(server.Port());
    server.Start();

    f.cycle.RunReceiveSend();

    ExpectFirstKeptSecondLeftOnServer(f, server);
}

// Login and the upload of a.enc up to its data; `afterData` scripts the rest.
ScriptedFtpServer& LoginAndUploadFirst(ScriptedFtpServer& server)
{
    return server.StandardLogin()
        .On("CWD .", "250 OK")
        .On("CWD In", "250 OK")
        .On("TYPE A", "200 OK")
        .Expect("PASV")
        .EnterPassive()
        .On("NLST .in.a.enc.", "550 No such file")
        .On("TYPE I", "200 OK")
        .Expect("PASV")
        .EnterPassive()
        .On("STOR a.enc", "150 Go ahead")
        .ReceiveData()
        .Reply("226 Stored");
}

TEST(TransferScripted, AFailedUploadMidListKeepsThatFileAndTheRestForTheNextCycle)
{
    CycleFixture f;
    WriteFile(f.tempSend / "a.enc", "aaaaa");
    WriteFile(f.tempSend / "b.enc", "bbbbb");
    WriteFile(f.tempSend / "c.enc", "ccccc");
    ScriptedFtpServer server;
    LoginAndUploadFirst(server)
        .On("SIZE a.enc", "213 5")
        .On("TYPE A", "200 OK")
        .Expect("PASV")
        .EnterPassive()
        .On("NLST .in.b.enc.", "550 No such file")
        .On("TYPE I", "200 OK")
        .Expect("PASV")
        .EnterPassive()
        .On("STOR b.enc", "552 Quota exceeded")
        .On("QUIT", "221 Bye");
    f.UseServer(server.Port());
    server.Start();

    f.cycle.RunSendReceive();

    ASSERT_TRUE(server.WaitFinished()) << f.LogText();
    EXPECT_TRUE(server.Mismatches().empty()) << ::testing::PrintToString(server.Received());
    EXPECT_EQ(server.Uploads(), (std::vector<std::string>{"aaaaa"}));
    EXPECT_EQ(CycleFixture::FilesIn(f.tempSend), (std::vector<std::string>{"b.enc", "c.enc"}));
    // b.enc was archived before its upload was tried; c.enc was never reached.
    EXPECT_EQ(CycleFixture::FilesIn(f.arcReciv / f.Today()), (std::vector<std::string>{"a.enc", "b.enc"}));
    EXPECT_EQ(f.counters.Read().FileSendCount, 2);
    EXPECT_TRUE(f.Logged("Передали файл a.enc"));
    EXPECT_FALSE(f.Logged("Передали файл b.enc"));
    EXPECT_TRUE(f.Logged("Ошибка: Quota exceeded\r\n")) << f.LogText();
    EXPECT_EQ(ErrorLines(f), 2);
    EXPECT_FALSE(f.Logged("Прием"));
    EXPECT_FALSE(f.cycle.IsConnected());
}

TEST(TransferScripted, AnUploadTheServerHoldsOnlyInPartKeepsTheLocalFile)
{
    CycleFixture f;
    WriteFile(f.tempSend / "a.enc", "aaaaa");
    ScriptedFtpServer server;
    LoginAndUploadFirst(server)
        .On("SIZE a.enc", "213 3")
        .On("DELE a.enc", "250 Deleted")
        .On("QUIT", "221 Bye");
    f.UseServer(server.Port());
    server.Start();

    f.cycle.RunSendReceive();

    ASSERT_TRUE(server.WaitFinished()) << f.LogText();
    EXPECT_TRUE(server.Mismatches().empty()) << ::testing::PrintToString(server.Received());
    EXPECT_EQ(ReadFile(f.tempSend / "a.enc"), "aaaaa");
    EXPECT_FALSE(f.Logged("Передали файл a.enc"));
    EXPECT_TRUE(f.Logged("Ошибка: Файл a.enc принят FTP не полностью: 3 из 5 байт")) << f.LogText();
    // The part does not stay on the server under the file's own name.
    const auto received = server.Received();
    EXPECT_NE(std::find(received.begin(), received.end(), "DELE a.enc"), received.end());
}

TEST(TransferScripted, UnsafeListedNamesAreSkippedWithAnErrorAndStayOnTheServer)
{
    CycleFixture f;
    ScriptedFtpServer server;
    server.StandardLogin()
        .On("CWD .", "250 OK")
        .On("CWD Out", "250 OK")
        .On("TYPE A", "200 OK")
        .Expect("PASV")
        .EnterPassive()
        .On("LIST *.*", "150 Here it comes")
        .SendData("-rw-r--r-- 1 u g 2 Jan 1 00:00 ok.txt\r\n")
        .Reply("226 Done")
        .On("TYPE I", "200 OK")
        .On("TYPE A", "200 OK")
        .Expect("PASV")
        .EnterPassive()
        .On("NLST *.*", "150 Here it comes")
        .SendData("..\r\n../escape.txt\r\nsub\\x.txt\r\n\r\n.\r\n/etc/passwd\r\nok.txt\r\n")
        .Reply("226 Done")
        .On("TYPE I", "200 OK")
        .On("SIZE ok.txt", "213 2")
        .Expect("PASV")
        .EnterPassive()
        .On("RETR ok.txt", "150 Sending")
        .SendData("ok")
        .Reply("226 Done")
        .On("DELE ok.txt", "250 Deleted")
        .On("CDUP", "250 OK")
        .On("QUIT", "221 Bye");
    f.UseServer(server.Port());
    server.Start();

    f.cycle.RunReceiveSend();

    ASSERT_TRUE(server.WaitFinished()) << f.LogText();
    EXPECT_TRUE(server.Mismatches().empty()) << ::testing::PrintToString(server.Received());
    for (const auto& line : server.Received()) {
        const bool touchesOther =
            (line.rfind("RETR ", 0) == 0 || line.rfind("DELE ", 0) == 0 || line.rfind("SIZE ", 0) == 0) &&
            line.substr(5) != "ok.txt";
        EXPECT_FALSE(touchesOther) << line;
    }
    EXPECT_EQ(ErrorLines(f), 6) << f.LogText();
    EXPECT_TRUE(f.Logged("Ошибка: Недопустимое имя файла на FTP: \"../escape.txt\""));
    EXPECT_FALSE(fs::exists(f.root / "Temp/escape.txt"));
    EXPECT_EQ(ReadFile(f.postBoxIn / "ok.txt"), "ok");
    EXPECT_TRUE(f.cycle.LastCycleFailed());
}

TEST(TransferScripted, AfterTheServerClosedTheConnectionTheNextCycleConnectsAgain)
{
    CycleFixture f;
    {
        ScriptedFtpServer first;
        first.StandardLogin().On("CWD .", "250 OK").Expect("CWD Out").CloseControl();
        f.UseServer(first.Port());
        first.Start();
        f.cycle.RunReceiveSend();
        ASSERT_TRUE(first.WaitFinished());
    }
    EXPECT_TRUE(f.cycle.LastCycleFailed());
    EXPECT_FALSE(f.cycle.IsConnected()) << f.LogText();

    ScriptedFtpServer second;
    second.StandardLogin()
        .On("CWD .", "250 OK")
        .On("CWD Out", "250 OK")
        .On("TYPE A", "200 OK")
        .Expect("PASV")
        .EnterPassive()
        .On("LIST *.*", "150 Here it comes")
        .SendData("")
        .Reply("226 Done")
        .On("TYPE I", "200 OK")
        .On("CDUP", "250 OK")
        .On("QUIT", "221 Bye");
    f.UseServer(second.Port());
    second.Start();
    f.cycle.RunReceiveSend();

    ASSERT_TRUE(second.WaitFinished()) << f.LogText();
    EXPECT_TRUE(second.Mismatches().empty()) << ::testing::PrintToString(second.Received());
    EXPECT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();
}

TEST(TransferScripted, SizesBeyondThirtyTwoBitsAreLoggedCountedAndShownWhole)
{
    CycleFixture f;
    ScriptedFtpServer server;
    server.StandardLogin()
        .On("CWD .", "250 OK")
        .On("CWD Out", "250 OK")
        .On("TYPE A", "200 OK")
        .Expect("PASV")
        .EnterPassive()
        .On("LIST *.*", "150 Here it comes")
        .SendData("-rw-r--r-- 1 u g 3000000000 Jan 1 00:00 big.bin\r\n")
        .Reply("226 Done")
        .On("TYPE I", "200 OK")
        .On("TYPE A", "200 OK")
        .Expect("PASV")
        .EnterPassive()
        .On("NLST *.*", "150 Here it comes")
        .SendData("big.bin\r\n")
        .Reply("226 Done")
        .On("TYPE I", "200 OK")
        .On("SIZE big.bin", "213 3000000000")
        .Expect("PASV")
        .EnterPassive()
        .On("RETR big.bin", "150 Sending")
        .SendData("only the beginning")
        .Reply("226 Done")
        .On("CDUP", "250 OK")
        .On("QUIT", "221 Bye");
    f.UseServer(server.Port());
    server.Start();

    f.cycle.RunReceiveSend();

    ASSERT_TRUE(server.WaitFinished()) << f.LogText();
    EXPECT_TRUE(f.Logged("Принимаем файл big.bin 3000000000 байт")) << f.LogText();
    EXPECT_EQ(f.desktop.ProgressMax, 3000000000LL);
    const TransferTotals totals = f.counters.Read();
    EXPECT_EQ(totals.FileReciveCount, 1);
    EXPECT_DOUBLE_EQ(totals.FileReciveSize, 3000000000.0 / 1024.0);
    // Cut short: neither kept nor deleted on the server.
    EXPECT_FALSE(Sent(server, "DELE big.bin"));
    EXPECT_TRUE(CycleFixture::FilesIn(f.tempReciv).empty());

    // Progress beyond 2 GiB is shown as it is; a count past the file's size is not.
    f.cycle.FTPWork(WorkMode::wmRead, 2500000000LL);
    EXPECT_EQ(f.desktop.ProgressPosition, 2500000000LL);
    f.cycle.FTPWork(WorkMode::wmRead, 3000000001LL);
    EXPECT_EQ(f.desktop.ProgressPosition, 0);
}

// The points of the batch's way to the disk passed so far; the script's thread reads them at
// DELE. With `failSync`, the data sync fails as a disk that refuses it would.
std::mutex g_pointsMutex;
std::vector<std::string> g_points;
bool g_failSync = false;

void RecordPoint(std::string_view name)
{
    {
        std::lock_guard lock(g_pointsMutex);
        g_points.emplace_back(name);
    }
    if (g_failSync && name == "batch-synced") {
        throw std::runtime_error("Input/output error");
    }
}

class PointRecorder
{
public:
    explicit PointRecorder(bool failSync)
    {
        std::lock_guard lock(g_pointsMutex);
        g_points.clear();
        g_failSync = failSync;
        SetCrashPointHookForTesting(&RecordPoint);
    }
    ~PointRecorder() { SetCrashPointHookForTesting(nullptr); }
    PointRecorder(const PointRecorder&) = delete;
    PointRecorder& operator=(const PointRecorder&) = delete;

    [[nodiscard]] static std::vector<std::string> Points()
    {
        std::lock_guard lock(g_pointsMutex);
        return g_points;
    }
};

// The listings announcing a.txt alone, and its complete download.
ScriptedFtpServer& ListAndFetchOne(ScriptedFtpServer& server)
{
    return ListAndFetchA(server, "-rw-r--r-- 1 u g 5 Jan 1 00:00 a.txt\r\n", "a.txt\r\n");
}

TEST(TransferScripted, ADownloadIsOnDiskAndJournaledBeforeItIsDeletedOnTheServer)
{
    CycleFixture f;
    const PointRecorder points(false);
    std::vector<std::string> passedAtDele;
    bool namedAtDele = false;
    ScriptedFtpServer server;
    ListAndFetchOne(server)
        .Expect("DELE a.txt")
        .Run([&] {
            passedAtDele = PointRecorder::Points();
            namedAtDele = fs::exists(f.tempReciv / "a.txt");
        })
        .Reply("250 Deleted")
        .On("CDUP", "250 OK")
        .On("QUIT", "221 Bye");
    f.UseServer(server.Port());
    server.Start();

    f.cycle.RunReceiveSend();

    ASSERT_TRUE(server.WaitFinished()) << f.LogText();
    EXPECT_TRUE(server.Mismatches().empty()) << ::testing::PrintToString(server.Received());
    // The listing's rows committed; then the download and its archive copy: data synced,
    // both named, folders flushed, the journal committed, and only then the DELE.
    const std::vector<std::string> expected{"batch-committing", "batch-staged",     "batch-staged",
                                            "batch-synced",     "batch-linked",     "batch-linked",
                                            "batch-named",      "batch-committing", "batch-committed"};
    EXPECT_EQ(passedAtDele, expected);
    EXPECT_TRUE(namedAtDele);
    EXPECT_EQ(ReadFile(f.postBoxIn / "a.txt"), "hello");
    EXPECT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();
}

// A download whose data cannot be synced, or whose name is taken by a folder, is neither kept
// under its name nor deleted on the server, and nothing of it waits under a hidden name.
TEST(TransferScripted, ADownloadThatCannotReachTheDiskUnderItsNameStaysOnTheServer)
{
    for (const bool failSync : {true, false}) {
        SCOPED_TRACE(failSync ? "the sync fails" : "a folder has the name");
        CycleFixture f;
        const PointRecorder points(failSync);
        if (!failSync) {
            fs::create_directories(f.tempReciv / "a.txt" / "inside");
        }
        ScriptedFtpServer server;
        ListAndFetchOne(server).On("CDUP", "250 OK").On("QUIT", "221 Bye");
        f.UseServer(server.Port());
        server.Start();

        f.cycle.RunReceiveSend();

        ASSERT_TRUE(server.WaitFinished()) << f.LogText();
        EXPECT_TRUE(server.Mismatches().empty()) << ::testing::PrintToString(server.Received());
        EXPECT_FALSE(Sent(server, "DELE a.txt"));
        EXPECT_EQ(ErrorLines(f), 1) << f.LogText(); // the cycle's line
        const std::string error = failSync ? "Ошибка: Файлы не записаны на диск: Input/output error"
                                           : "Ошибка: Файл a.txt не сохранён: ";
        EXPECT_EQ(std::count_if(f.Lines().begin(), f.Lines().end(),
                                [&](const std::string& l) { return l.rfind(error, 0) == 0; }),
                  1)
            << f.LogText();
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(f.tempReciv)) {
            left.push_back(e.path().filename().string());
        }
        std::sort(left.begin(), left.end());
        const std::vector<std::string> expected =
            failSync ? std::vector<std::string>{"temp2"} : std::vector<std::string>{"a.txt", "temp2"};
        EXPECT_EQ(left, expected);
        EXPECT_TRUE(fs::is_empty(f.tempReciv / "temp2"));
        // Without a sync nothing is named and the journal claims no archive copy; the folder
        // in the way fails the download alone.
        const auto rows = f.journal.TodayRows();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].BackupPathCrypt.empty(), failSync);
        EXPECT_EQ(CycleFixture::FilesIn(f.arcSend / f.Today()).size(), failSync ? 0u : 1u);
        EXPECT_TRUE(f.cycle.LastCycleFailed());
    }
}

TEST(TransferScripted, AFailingEncryptionProgramEndsTheHalfWithOneErrorLine)
{
    CycleFixture f;
    f.UseCrypt();
    f.settings.CryptProgNew = (f.root / "Crypt/clbat").string(); // not there
    WriteFile(f.postBoxOut / "order.txt", "order");
    WriteFile(f.tempSend / "waiting.enc", "encrypted earlier");
    ScriptedFtpServer server;
    server.StandardLogin().On("CWD .", "250 OK").On("QUIT", "221 Bye");
    f.UseServer(server.Port());
    server.Start();

    f.cycle.RunSendReceive();

    ASSERT_TRUE(server.WaitFinished()) << f.LogText();
    EXPECT_TRUE(server.Mismatches().empty()) << ::testing::PrintToString(server.Received());
    EXPECT_EQ(ErrorLines(f), 1) << f.LogText();
    EXPECT_TRUE(f.Logged("Ошибка: Программа шифрования " + f.settings.CryptProgNew + " не найдена"));
    EXPECT_LT(f.IndexOf("Шифрование найденных файлов"),
              f.IndexOf("Ошибка: Программа шифрования " + f.settings.CryptProgNew + " не найдена"));
    // Nothing went on: no upload, no incoming half; every file waits where it was.
    EXPECT_FALSE(f.Logged("Передача"));
    EXPECT_FALSE(f.Logged("Прием"));
    EXPECT_EQ(CycleFixture::FilesIn(f.layout.TempSendPlain()), std::vector<std::string>{"order.txt"});
    EXPECT_EQ(CycleFixture::FilesIn(f.tempSend), std::vector<std::string>{"waiting.enc"});
    EXPECT_TRUE(f.cycle.LastCycleFailed());
}

TEST(TransferScripted, ListingHelpersCountFilesAndRefuseNamesThatLeaveTheFolder)
{
    EXPECT_EQ(Incoming::CountListedFiles({"-rw a", "drwx sub", "", "lrwx link", "-r-- b", " -rw c"}), 2);
    EXPECT_EQ(Incoming::CountListedFiles({}), 0);
    const std::vector<std::string> unsafe = {
        "", "   ", ".", "..", " .. ", "a/b", "/abs", "a\\b", std::string("a\0b", 3)};
    for (const std::string& bad : unsafe) {
        EXPECT_FALSE(Incoming::IsSafeListedName(bad)) << bad;
    }
    for (const char* good : {"a.txt", ".hidden", "..double", "Отчёт.txt", "name with blanks"}) {
        EXPECT_TRUE(Incoming::IsSafeListedName(good)) << good;
    }
    // What the system itself cannot keep under the name (a device, a stream on Windows).
    for (const char* name : {"NUL", "con.txt", "a:b.txt"}) {
        EXPECT_EQ(Incoming::IsSafeListedName(name), IsStorableFileName(name)) << name;
    }
}

} // namespace
} // namespace ornel::test
