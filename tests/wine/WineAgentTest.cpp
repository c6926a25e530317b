// The Windows agent end to end under Wine: a settings file imported into Wine's registry,
// one send-receive cycle with the Windows encryption program against vsftpd on 127.0.0.1,
// the files checked on both sides, and the settings exported back out of the registry.
// Wine runs in a prefix of this test's own under the Windows build folder.
#include "platform/CodePage.h"
#include "platform/RegFile.h"
#include "platform/RegistryStore.h"
#include "settings/RegExchange.h"
#include "settings/SecretCipher.h"
#include "support/RealFtpServer.h"
#include "support/TempFolder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>
#include <vector>

namespace ornel::test
{
namespace
{

namespace fs = std::filesystem;

const fs::path kWindowsBuild = ORNEL_WINDOWS_BUILD;
const std::string kCode = "00010000";
const std::string kPin = "4711";
const std::string kOptions = "HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options";
const std::string kCounters = "HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP";

// The Windows form of a Linux path: Wine shows the Linux root as drive Z:.
std::string WindowsPath(const fs::path& path)
{
    std::string text = "Z:" + path.string();
    for (char& c : text) {
        c = c == '/' ? '\\' : c;
    }
    return text;
}

// A word for the shell, whatever it holds.
std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs a shell command line bounded to `seconds`; its exit status, or -1.
int Shell(const std::string& command, int seconds = 180)
{
    const int status = std::system(("timeout " + std::to_string(seconds) + " " + command).c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The tests' Wine (tests/wine/run_wine.sh) on this fixture's prefix, with `mode`.
std::string RunWine(const std::string& mode)
{
    return "env LANG=C.UTF-8 ORNEL_WINE_PREFIX=wine-prefix-agent bash " + Quoted(ORNEL_RUN_WINE) + " " +
           Quoted(kWindowsBuild.string()) + " " + mode;
}

class WineAgent : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (Shell(RunWine("--check") + " > " + Quoted(m_output.string()) + " 2>&1") != 0) {
            GTEST_SKIP() << Output();
        }
        if (!fs::exists(kWindowsBuild / "bin" / "ornel_ftp.exe") ||
            !fs::exists(kWindowsBuild / "bin" / "ornel_crypt.exe")) {
            GTEST_SKIP() << "no Windows build in " << kWindowsBuild << "; make windows makes one";
        }
        if (const auto reason = RealFtpServer::VsftpdUnavailable(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        m_prepared = true;
        ASSERT_EQ(Wine({"wineboot", "-u"}), 0) << Output();
        // Whatever an earlier run left in this prefix's registry goes first.
        (void)Wine({"reg", "delete", "HKLM\\SOFTWARE\\RUX", "/f", "/reg:32"});
    }

    void TearDown() override
    {
        if (m_prepared) {
            (void)Wine({"reg", "delete", "HKLM\\SOFTWARE\\RUX", "/f", "/reg:32"});
            (void)Shell(RunWine("--shutdown"), 60);
        }
    }

    // Wine with `words` in the prefix, in `m_work`; output in m_output.
    int Wine(const std::vector<std::string>& words)
    {
        std::string arguments;
        for (const auto& word : words) {
            arguments += " " + Quoted(word);
        }
        return Shell("sh -c 'cd \"$0\" && exec \"$@\"' " +
                     Quoted((m_work.empty() ? fs::path("/") : m_work).string()) + " " + RunWine("--wine") +
                     arguments + " > " + Quoted(m_output.string()) + " 2>&1");
    }
    [[nodiscard]] std::string Output() const { return fs::exists(m_output) ? ReadFile(m_output) : ""; }

    // The Linux encryption program with the same code and PIN as the agent's.
    int Crypt(const std::string& mode, const fs::path& in, const fs::path& out)
    {
        return Shell(std::string(ORNEL_CRYPT_PATH) + " " + mode + " -I '" + in.string() + "/*.*' -O " +
                     out.string() + " -W " + kCode + " -P " + kPin + " > /dev/null");
    }

    TempFolder m_folder;
    bool m_prepared = false;
    fs::path m_work;
    fs::path m_output = m_folder / "wine.out";
};

std::map<std::string, RegValue> ValuesOf(const fs::path& file, const std::string& key)
{
    const RegDocument document = ParseRegFile(ReadFile(file), file.string(), RegFileRole::Import);
    std::map<std::string, RegValue> values;
    for (const auto& block : document.Keys) {
        if (RegNamesEqual(block.Path, key)) {
            for (const auto& value : block.Values) {
                values[value.Name] = value;
            }
        }
    }
    return values;
}

TEST_F(WineAgent, ImportsIntoTheRegistryExchangesBothWaysThroughVsftpdAndExportsTheSameSettings)
{
    // The server: one encrypted file waiting in Out, made by the Linux encryption program.
    const fs::path serverRoot = m_folder / "server";
    fs::permissions(m_folder.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(serverRoot / "In");
    fs::create_directories(serverRoot / "Out");
    const std::string incoming = "входящий отчёт.txt";
    const std::string incomingText = "ответ депозитария\r\n" + std::string(200000, 'z');
    WriteFile(m_folder / "plain-in" / incoming, incomingText);
    fs::create_directories(m_folder / "sealed-in");
    ASSERT_EQ(Crypt("-T", m_folder / "plain-in", m_folder / "sealed-in"), 0);
    // vsftpd keeps the names as the Windows-1251 bytes the agent sends and reads.
    fs::rename(m_folder / "sealed-in" / incoming, serverRoot / "Out" / Utf8ToCp1251(incoming));
    auto server = RealFtpServer::StartVsftpd(serverRoot);

    // The agent's folders, the encryption program beside them (it writes its log there).
    const fs::path client = m_folder / "client";
    for (const char* sub : {"PostBoxOut", "PostBoxIn", "TempSend", "TempReciv", "Arc", "Crypt", "work"}) {
        fs::create_directories(client / sub);
    }
    fs::create_directories(client / "Неизвестные");
    fs::copy_file(kWindowsBuild / "bin" / "ornel_crypt.exe", client / "Crypt" / "ornel_crypt.exe");
    m_work = client / "work";

    // The settings file, written by the Linux agent's own exporter from a file store.
    const fs::path imported = m_folder / "settings.reg";
    {
        RegistryStore store(m_folder / "linux-store");
        auto key = store.OpenKey(Hive::LocalMachine, "SOFTWARE\\RUX\\ORNEL_FTP\\Options");
        key.WriteString("IP", "127.0.0.1");
        key.WriteInteger("Port", server->Port());
        key.WriteString("User", server->User());
        key.WriteString("Password", server->Password());
        key.WriteBool("Passive", true);
        key.WriteString("FtpIn", "In");
        key.WriteString("FtpOut", "Out");
        for (const char* folder : {"PostBoxOut", "PostBoxIn", "TempSend", "TempReciv"}) {
            key.WriteString(folder, WindowsPath(client / folder));
        }
        key.WriteString("ArcSend", WindowsPath(client / "Arc"));
        key.WriteString("ArcReciv", WindowsPath(client / "Arc"));
        key.WriteString("UnKnOwn", WindowsPath(client / "Неизвестные"));
        key.WriteBool("NotUseCrypt", false);
        key.WriteString("CryptProgNew", WindowsPath(client / "Crypt" / "ornel_crypt.exe"));
        key.WriteString("KodSend", kCode);
        key.WriteString("PIN", EncryptSecret(kPin));
        ExportRegistry(store, imported);
    }
    const std::string agent = WindowsPath(kWindowsBuild / "bin" / "ornel_ftp.exe");
    ASSERT_EQ(Wine({agent, "--import-reg", WindowsPath(imported)}), 0) << Output();
    // In Wine's registry itself, in the 32-bit view where a Windows installation keeps it.
    ASSERT_EQ(Wine({"reg", "query", "HKLM\\SOFTWARE\\RUX\\ORNEL_FTP\\Options", "/v", "IP", "/reg:32"}), 0)
        << Output();
    EXPECT_NE(Output().find("127.0.0.1"), std::string::npos) << Output();

    // Two files to send, one of them named outside the ANSI code page.
    const std::string report = "отчёт №1.txt";
    const std::string reportText = "Отчёт участника\r\n" + std::string(300000, 'r');
    const std::string binary(70000, '\x01');
    WriteFile(client / "PostBoxOut" / report, reportText);
    WriteFile(client / "PostBoxOut" / "data.bin", binary);
    const std::string journal = WindowsPath(client / "journal.db");
    ASSERT_EQ(Wine({agent, "--init-journal", journal}), 0) << Output();
    ASSERT_EQ(Wine({agent, "--cycle", "send-receive", "--journal", journal}), 0) << Output() << server->Log();
    const std::string cycleOutput = Output();
    EXPECT_NE(cycleOutput.find("Стоп передача/прием"), std::string::npos) << cycleOutput;

    // Sent: gone from the post box, encrypted on the server under the Windows-1251 name, and
    // the same bytes once decrypted.
    EXPECT_TRUE(FolderNames(client / "PostBoxOut").empty()) << cycleOutput;
    fs::create_directories(m_folder / "sealed-out");
    fs::create_directories(m_folder / "plain-out");
    for (const std::string& name : {report, std::string("data.bin")}) {
        const fs::path onServer = serverRoot / "In" / Utf8ToCp1251(name);
        ASSERT_TRUE(fs::exists(onServer)) << name << "\n" << cycleOutput;
        EXPECT_NE(ReadFile(onServer), name == report ? reportText : binary) << "sent without encryption";
        fs::copy_file(onServer, m_folder / "sealed-out" / name);
    }
    ASSERT_EQ(Crypt("-R", m_folder / "sealed-out", m_folder / "plain-out"), 0);
    EXPECT_EQ(ReadFile(m_folder / "plain-out" / report), reportText);
    EXPECT_EQ(ReadFile(m_folder / "plain-out" / "data.bin"), binary);
    // Received: decrypted into the post box, deleted on the server.
    EXPECT_EQ(FolderNames(client / "PostBoxIn"), std::vector<std::string>{incoming}) << cycleOutput;
    EXPECT_EQ(ReadFile(client / "PostBoxIn" / incoming), incomingText);
    EXPECT_TRUE(FolderNames(serverRoot / "Out").empty());

    // Out again: every value imported comes back the same, the counters show the cycle.
    const fs::path exported = m_folder / "exported.reg";
    ASSERT_EQ(Wine({agent, "--export-reg", WindowsPath(exported)}), 0) << Output();
    const auto before = ValuesOf(imported, kOptions);
    const auto after = ValuesOf(exported, kOptions);
    ASSERT_FALSE(before.empty());
    for (const auto& [name, value] : before) {
        const auto found = after.find(name);
        ASSERT_NE(found, after.end()) << name;
        EXPECT_EQ(found->second.Kind, value.Kind) << name;
        EXPECT_EQ(found->second.Text, value.Text) << name;
        EXPECT_EQ(found->second.Dword, value.Dword) << name;
        EXPECT_EQ(found->second.Bytes, value.Bytes) << name;
    }
    const auto counters = ValuesOf(exported, kCounters);
    ASSERT_TRUE(counters.count("FileSendCount") > 0) << ReadFile(exported);
    EXPECT_EQ(counters.at("FileSendCount").Dword, 2u);
    ASSERT_TRUE(counters.count("FileReciveCount") > 0) << ReadFile(exported);
    EXPECT_EQ(counters.at("FileReciveCount").Dword, 1u);
}

// The Windows build has no tray: a start without options says so in Russian and fails, and
// the help text speaks of this build and of how Windows stops the service.
TEST_F(WineAgent, SaysThatThisBuildHasNoTrayAndHowItsServiceStops)
{
    const std::string agent = WindowsPath(kWindowsBuild / "bin" / "ornel_ftp.exe");
    EXPECT_EQ(Wine({agent}), 1) << Output();
    EXPECT_NE(Output().find("В этой сборке нет приложения в области уведомлений"), std::string::npos)
        << Output();

    ASSERT_EQ(Wine({agent, "--help"}), 0) << Output();
    const std::string help = Output();
    EXPECT_NE(help.find("This build has no tray application"), std::string::npos) << help;
    EXPECT_NE(help.find("Ctrl+C, Ctrl+Break or the service manager's stop"), std::string::npos) << help;
    EXPECT_EQ(help.find("SIGTERM"), std::string::npos) << help;
}

} // namespace
} // namespace ornel::test
