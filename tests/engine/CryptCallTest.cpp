#include "engine/FilesFixture.h"
#include "platform/CodePage.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <thread>

namespace ornel::test
{

namespace fs = std::filesystem;

namespace
{

// Copies a program into its own folder of the test, so the working folder and the
// decryption log given to it lie inside the test's temp folder.
std::string InstallProgram(FilesFixture& f, const std::string& from, const std::string& name)
{
    const fs::path folder = f.Dir("Crypt");
    fs::copy_file(from, folder / name, fs::copy_options::overwrite_existing);
    return (folder / name).string();
}

std::vector<std::string> ReadLines(const fs::path& file)
{
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(size, '\0');
    for (auto& c : s) {
        c = static_cast<char>(gen() & 0xff);
    }
    return s;
}

class ScopedEnv
{
public:
    ScopedEnv(const char* name, const std::string& value)
        : m_name(name)
    {
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { ::unsetenv(m_name); }

private:
    const char* m_name;
};

// A loop that counts how the wait for the program uses it and reports shutdown after a
// given number of waits.
class CountingLoop final : public EventLoop
{
public:
    void ProcessPendingEvents() override { ++Processed; }
    void Sleep(std::chrono::milliseconds) override {}
    void WaitForEvents(std::chrono::milliseconds timeout) override
    {
        ++Waits;
        LastTimeout = timeout;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    bool RunOnUiThreadAndWait(const std::function<void()>& work) override
    {
        work();
        return true;
    }
    [[nodiscard]] bool ShuttingDown() const override { return Waits >= ShutDownAfter; }

    int Processed = 0;
    int Waits = 0;
    int ShutDownAfter = 1 << 30;
    std::chrono::milliseconds LastTimeout{0};
};

constexpr std::chrono::minutes kLong{10};

std::string Script(FilesFixture& f, const std::string& name, const std::string& body)
{
    const fs::path script = fs::path(f.Dir("Crypt")) / name;
    WriteFile(script, "#!/bin/sh\n" + body);
    fs::permissions(script, fs::perms::owner_all);
    return script.string();
}

} // namespace

TEST(CryptCall, WithoutEncryptionMovesReportsAndNeverReplaces)
{
    FilesFixture f;
    f.settings.NotUseCrypt = true;
    f.settings.ERRMonitoring = true;
    f.settings.ERRExt = ".dat";
    const std::string in = f.Dir("in");
    const std::string out = f.Dir("out");
    WriteFile(fs::path(in) / "a.txt", "a");
    WriteFile(fs::path(in) / "x.dat", "ошибка");
    WriteFile(fs::path(in) / "X.DAT", "not an error report: letter case counts");
    WriteFile(fs::path(in) / "clash", "new");
    WriteFile(fs::path(out) / "clash", "waiting from before");

    f.crypt.ProcessCrypt(TransferDirection::Incoming, in, out + "/");

    EXPECT_EQ(FilesFixture::FilesIn(in), std::vector<std::string>{"clash"});
    EXPECT_EQ(ReadFile(fs::path(out) / "clash"), "waiting from before");
    EXPECT_EQ(FilesFixture::FilesIn(out), (std::vector<std::string>{"X.DAT", "a.txt", "clash", "x.dat"}));
    EXPECT_EQ(f.Lines()[0], "Перемещение найденых файлов без шифрования");
    EXPECT_TRUE(f.Logged("a.txt Ok!"));
    EXPECT_FALSE(f.Logged("clash Ok!"));
    int alerts = 0;
    for (const auto& line : f.Lines()) {
        if (line.find("Обнаружен файл *.ERR: ") != std::string::npos) {
            ++alerts;
            EXPECT_NE(line.find(out + "/x.dat"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(alerts, 1);
    auto rows = f.Rows();
    EXPECT_EQ(rows.count("a.txt"), 1u);
    EXPECT_EQ(rows.count("clash"), 0u);

    // An empty ERRExt marks every name without an extension.
    f.settings.ERRExt = "";
    EXPECT_TRUE(CryptCall::IsErrorReport("README", ""));
    EXPECT_FALSE(CryptCall::IsErrorReport("report.dat.txt", ".dat"));
    EXPECT_TRUE(CryptCall::IsErrorReport("report.dat", ".dat"));
}

TEST(CryptCall, CommandLinesReachTheProgramAsArguments)
{
    FilesFixture f;
    const std::string program = InstallProgram(f, ORNEL_RECORD_ARGS_PATH, "clbat");
    const fs::path record = f.root / "record.txt";
    ScopedEnv env("ORNEL_RECORD_FILE", record.string());
    f.settings.CryptProgNew = program;
    f.settings.KodSend = "00010000";
    f.settings.PIN = "1234";
    f.settings.UPIN = "77";
    f.settings.PostBoxOut = "/box/out";
    const std::string in = f.Dir("Temp/Send/temp2");
    const std::string out = f.Dir("Temp/Send");
    const std::string folder = (f.root / "Crypt").string();

    f.crypt.ProcessCrypt(TransferDirection::Outgoing, in, out);
    EXPECT_EQ(ReadLines(record), (std::vector<std::string>{folder, "-T", "-I", in + "/*.*", "-O", out, "-W",
                                                           "00010000", "-P", "1234", "-PU", "77"}));
    EXPECT_EQ(f.Lines()[0], "Шифрование найденных файлов");

    // Decryption: -E and -M instead of -PU; the log path keeps its doubled delimiter; an
    // empty PIN leaves nothing between -P and the next option.
    f.settings.PIN = "";
    EXPECT_EQ(f.crypt.DecryptParameters("/r", "/r/temp2"),
              "-R -I /r/*.* -O /r/temp2 -W 00010000 -P  -E /box/out -M " + folder + "//20261208.log");
    f.crypt.ProcessCrypt(TransferDirection::Incoming, out, in);
    EXPECT_EQ(ReadLines(record),
              (std::vector<std::string>{folder, "-R", "-I", out + "/*.*", "-O", in, "-W", "00010000", "-P",
                                        "-E", "/box/out", "-M", folder + "//20261208.log"}));
    EXPECT_EQ(f.Lines().back(), "Расшифровка принятых файлов");

    // Files already in the output folder are reported after the run.
    WriteFile(fs::path(out) / "left.enc", "from an earlier cycle");
    f.crypt.ProcessCrypt(TransferDirection::Outgoing, in, out);
    EXPECT_EQ(f.Lines().back(), "left.enc Ok!");
}

TEST(CryptCall, WaitServesEventsWithoutSpinningAndStopsAtShutdown)
{
    FilesFixture f;
    CountingLoop loop;
    EngineContext ctx{f.settings, f.log, f.journal, f.ftp, f.desktop, loop, f.clock, f.registry, f.sound};
    CryptCall crypt(ctx, f.moves, f.notifications);
    const fs::path go = f.root / "go";
    // Ends by itself once "go" exists (at most about five seconds).
    const std::string script = f.root.Path() / "wait.sh";
    WriteFile(script,
              "#!/bin/sh\nfor i in $(seq 100); do [ -e \"$1\" ] && exit 5; sleep 0.05; done\nexit 9\n");
    fs::permissions(script, fs::perms::owner_all);

    loop.ShutDownAfter = 3;
    EXPECT_EQ(crypt.RunAndWait(script, go.string(), "", 0, kLong).How, ProgramRun::Outcome::Abandoned);
    EXPECT_EQ(loop.Waits, 3);
    EXPECT_GE(loop.Processed, 3);
    EXPECT_GT(loop.LastTimeout.count(), 0) << "the wait blocks in the event loop between polls";
    WriteFile(go, "");

    loop.ShutDownAfter = 1 << 30;
    loop.Waits = 0;
    const ProgramRun run = crypt.RunAndWait(script, go.string(), "", 0, kLong);
    EXPECT_EQ(run.How, ProgramRun::Outcome::Ended);
    EXPECT_EQ(run.ExitCode, 5);
}

TEST(CryptCall, ReferenceProgramRoundTripIsByteExact)
{
    FilesFixture f;
    f.settings.CryptProgNew = InstallProgram(f, ORNEL_CRYPT_PATH, "ornel_crypt");
    f.settings.KodSend = "00010000";
    f.settings.PIN = "12345678";
    f.settings.UPIN = "87654321";
    f.settings.ERRMonitoring = true;
    f.settings.ERRExt = ".dat";
    // Blanks in the folders split the arguments; the program joins the pieces again.
    f.layout.SetTempSend(f.Dir("Temp Send"));
    f.layout.SetTempReciv(f.Dir("Temp Reciv"));
    const std::map<std::string, std::string> files = {
        {"big.bin", RandomBytes(300'000, 1)},
        {"empty", ""},
        {"exact.bin", RandomBytes(65'536, 2)},
        {"отчёт.txt", "отчёт участника\r\n"},
    };
    for (const auto& [name, content] : files) {
        WriteFile(fs::path(f.layout.TempSendPlain()) / name, content);
    }

    f.crypt.ProcessCrypt(TransferDirection::Outgoing, f.layout.TempSendPlain(), f.settings.TempSend);
    EXPECT_TRUE(FilesFixture::FilesIn(f.layout.TempSendPlain()).empty());
    ASSERT_EQ(FilesFixture::FilesIn(f.settings.TempSend).size(), files.size());
    for (const auto& [name, content] : files) {
        const std::string sealed = ReadFile(fs::path(f.settings.TempSend) / name);
        EXPECT_GT(sealed.size(), content.size());
        EXPECT_EQ(sealed.find("отчёт участника"), std::string::npos);
        EXPECT_TRUE(f.Logged(name + " Ok!"));
        fs::rename(fs::path(f.settings.TempSend) / name, fs::path(f.settings.TempReciv) / name);
    }

    f.crypt.ProcessCrypt(TransferDirection::Incoming, f.settings.TempReciv, f.layout.TempRecivPlain());
    EXPECT_TRUE(FilesFixture::FilesIn(f.settings.TempReciv).empty());
    for (const auto& [name, content] : files) {
        EXPECT_EQ(ReadFile(fs::path(f.layout.TempRecivPlain()) / name), content) << name;
    }
    EXPECT_EQ(f.Rows().size(), files.size());
    const auto log = ReadLines((f.root / "Crypt").string() + "//20261208.log");
    EXPECT_EQ(log.size(), files.size()) << "one line per file";
}

TEST(CryptCall, FoldersAndMasksTakeEitherDelimiterAsOnWindows)
{
    EXPECT_EQ(CryptCall::FolderPart("C:\\DEPO\\clbat.exe"), "C:\\DEPO\\");
    EXPECT_EQ(CryptCall::FolderPart("/opt/ornel/bin/ornel_crypt"), "/opt/ornel/bin/");
    EXPECT_EQ(CryptCall::FolderPart("clbat.exe"), "");

    // A mask written the Windows way reaches the reference program's folder and mask.
    FilesFixture f;
    const std::string program = InstallProgram(f, ORNEL_CRYPT_PATH, "ornel_crypt");
    const std::string input = f.Dir("in");
    const std::string output = f.Dir("out");
    WriteFile(fs::path(input) / "report.txt", "report");
    const ProgramRun run = f.crypt.RunAndWait(
        program, "-T -I " + input + "\\*.* -O " + output + " -W 00010000 -P 12345678 -PU 87654321", "", 3,
        std::chrono::seconds(20));
    ASSERT_EQ(run.How, ProgramRun::Outcome::Ended);
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(FilesFixture::FilesIn(output), std::vector<std::string>{"report.txt"});
}

TEST(CryptCall, UndecryptableFilesBecomeErrorReports)
{
    FilesFixture f;
    f.settings.CryptProgNew = InstallProgram(f, ORNEL_CRYPT_PATH, "ornel_crypt");
    f.settings.KodSend = "00010000";
    f.settings.PIN = "12345678";
    f.settings.ERRMonitoring = true;
    f.settings.WindowERR = true;
    f.settings.ERRExt = ".dat";
    const std::string plain = f.Dir("plain");
    const std::string sealed = f.Dir("sealed");
    const std::string out = f.Dir("out");
    WriteFile(fs::path(plain) / "a.txt", RandomBytes(100'000, 3));
    WriteFile(fs::path(plain) / "b.txt", RandomBytes(100'000, 4));
    f.crypt.ProcessCrypt(TransferDirection::Outgoing, plain, sealed);
    // b.txt loses its end: a stream without its final chunk.
    const std::string whole = ReadFile(fs::path(sealed) / "b.txt");
    WriteFile(fs::path(sealed) / "b.txt", whole.substr(0, 65'536 + 17 + 48));
    WriteFile(fs::path(sealed) / "c.txt", "never encrypted");

    f.settings.PIN = "87654321";
    f.desktop.MessageWindowBlocks.clear();
    f.crypt.ProcessCrypt(TransferDirection::Incoming, sealed, out);

    EXPECT_EQ(FilesFixture::FilesIn(out), (std::vector<std::string>{"a.txt.dat", "b.txt.dat", "c.txt.dat"}));
    const std::string report = Cp1251ToUtf8(ReadFile(fs::path(out) / "a.txt.dat"));
    EXPECT_NE(report.find("Ошибка расшифровки файла a.txt"), std::string::npos) << report;
    EXPECT_NE(report.find("неверный ключ"), std::string::npos) << report;
    // Nothing is lost: the encrypted files are kept aside, not handed over again.
    EXPECT_TRUE(FilesFixture::FilesIn(sealed).empty());
    EXPECT_EQ(FilesFixture::FilesIn(fs::path(sealed) / "rejected"),
              (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    ASSERT_EQ(f.desktop.MessageWindowBlocks.size(), 3u);
    EXPECT_NE(f.desktop.MessageWindowBlocks[0].find("Ошибка расшифровки файла a.txt"), std::string::npos);
    EXPECT_TRUE(f.Logged("a.txt.dat Ok!"));

    // The right PIN decrypts the kept file; the truncated one stays an error.
    f.settings.PIN = "12345678";
    for (const auto& name : {"a.txt", "b.txt"}) {
        fs::rename(fs::path(sealed) / "rejected" / name, fs::path(sealed) / name);
    }
    const std::string out2 = f.Dir("out2");
    f.crypt.ProcessCrypt(TransferDirection::Incoming, sealed, out2);
    EXPECT_EQ(FilesFixture::FilesIn(out2), (std::vector<std::string>{"a.txt", "b.txt.dat"}));
    EXPECT_EQ(ReadFile(fs::path(out2) / "a.txt"), RandomBytes(100'000, 3));
    EXPECT_NE(Cp1251ToUtf8(ReadFile(fs::path(out2) / "b.txt.dat")).find("обрезан"), std::string::npos);

    // A result name already taken (a file whose delivery failed earlier): the input waits
    // for the next run, the file waiting there is reported, and the run is no failure.
    WriteFile(fs::path(plain) / "a.txt", "again");
    f.crypt.ProcessCrypt(TransferDirection::Outgoing, plain, sealed);
    f.desktop.ProtocolLines.clear();
    WriteFile(fs::path(plain) / "a.txt", "once more");
    EXPECT_NO_THROW(f.crypt.ProcessCrypt(TransferDirection::Outgoing, plain, sealed));
    EXPECT_EQ(ReadFile(fs::path(plain) / "a.txt"), "once more");
    EXPECT_TRUE(f.Logged("a.txt Ok!"));
}

TEST(CryptCall, AProgramThatCannotRunOrFailsEndsTheRunWithItsNameAndWhatHappened)
{
    FilesFixture f;
    const std::string in = f.Dir("Temp/Send/temp2");
    const std::string out = f.Dir("Temp/Send");
    WriteFile(fs::path(in) / "order.txt", "plain");
    WriteFile(fs::path(out) / "left.enc", "from an earlier cycle");
    const std::string missing = (f.root / "Crypt/clbat").string();
    const std::string plainFile = (f.root / "Crypt/notes.txt").string();
    WriteFile(plainFile, "not a program");
    const std::string crashing = Script(f, "crash.sh", "kill -SEGV $$\n");
    const std::string recorder = InstallProgram(f, ORNEL_RECORD_ARGS_PATH, "clbat-record");
    ScopedEnv record("ORNEL_RECORD_FILE", (f.root / "record.txt").string());
    ScopedEnv exitCode("ORNEL_RECORD_EXIT", "3");

    const std::map<std::string, std::string> cases = {
        {"", "Программа шифрования не указана (CryptProgNew)"},
        {missing, "Программа шифрования " + missing + " не найдена"},
        {plainFile, "Программа шифрования " + plainFile +
                        " не запускается: это не исполняемый файл или нет права на запуск"},
        {crashing, "Программа шифрования " + crashing + " завершилась аварийно (сигнал 11)"},
        {recorder, "Программа шифрования " + recorder + " завершилась с кодом 3"},
    };
    for (const auto& [program, message] : cases) {
        f.settings.CryptProgNew = program;
        f.desktop.ProtocolLines.clear();
        try {
            f.crypt.ProcessCrypt(TransferDirection::Outgoing, in, out);
            ADD_FAILURE() << "no error for " << program;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
        // The run is not judged by its output: nothing there is reported as encrypted.
        EXPECT_EQ(f.Lines(), std::vector<std::string>{"Шифрование найденных файлов"}) << program;
        EXPECT_EQ(FilesFixture::FilesIn(in), std::vector<std::string>{"order.txt"});
    }
    EXPECT_TRUE(f.Rows().empty());
    EXPECT_TRUE(fs::exists(f.root / "record.txt")) << "the failing program did run";

    // Exit code 0 again: the output folder is reported as before.
    ScopedEnv success("ORNEL_RECORD_EXIT", "0");
    f.settings.CryptProgNew = recorder;
    f.crypt.ProcessCrypt(TransferDirection::Outgoing, in, out);
    EXPECT_EQ(f.Lines().back(), "left.enc Ok!");
}

TEST(CryptCall, AProgramPastItsBoundIsStoppedWithItsHelpers)
{
    FilesFixture f;
    const std::string in = f.Dir("Temp/Reciv");
    const std::string out = f.Dir("Temp/Reciv/temp2");
    WriteFile(fs::path(in) / "answer.enc", "cipher");
    const fs::path helperPid = f.root / "helper.pid";
    // A program that starts a helper of its own and then never ends.
    f.settings.CryptProgNew = Script(
        f, "hang.sh", "sleep 1000 &\necho $! > " + helperPid.string() + "\nwhile :; do sleep 1; done\n");
    f.settings.CryptTimeout = 2;
    f.crypt.SetTimeoutUnit(std::chrono::milliseconds(700)); // 1.4 s in all

    const auto started = std::chrono::steady_clock::now();
    try {
        f.crypt.ProcessCrypt(TransferDirection::Incoming, in, out);
        ADD_FAILURE() << "a hanging program must not pass";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Программа шифрования " + f.settings.CryptProgNew +
                                             " не завершилась за 2 мин. и остановлена");
    }
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1400));
    EXPECT_EQ(FilesFixture::FilesIn(in), std::vector<std::string>{"answer.enc"});
    ASSERT_TRUE(fs::exists(helperPid)) << "the program had started its helper";
    EXPECT_TRUE(RunsNoMore(std::stoi(ReadFile(helperPid)))) << "the helper was stopped too";
}

} // namespace ornel::test
