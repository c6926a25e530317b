#include "platform/PathText.h"
#include "platform/Process.h"
#include "platform/RegistryStore.h"
#include "support/ErrorOf.h"
#include "support/RegistrySandbox.h"
#include "support/TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <windows.h>

namespace ornel::test
{
namespace
{

const std::string kOptions = "SOFTWARE\\RUX\\ORNEL_FTP\\Options";

// Runs the system's reg.exe, as another program writing or reading the registry would.
int Reg(const std::vector<std::string>& arguments)
{
    auto process = Process::Start("reg.exe", arguments, {}, nullptr, WindowShow::Hidden);
    if (!process)
        return -1;
    for (int i = 0; i < 2000; ++i) {
        if (auto code = process->TryWait())
            return *code;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    process->StopGroup(std::chrono::milliseconds(0));
    return -2;
}

// The type and the raw bytes of a value, read past the store.
std::pair<DWORD, std::vector<BYTE>> Raw(HKEY root, const std::wstring& key, const std::wstring& name,
                                        REGSAM view = 0)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS)
        return {REG_NONE, {}};
    DWORD type = REG_NONE;
    DWORD size = 0;
    RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size);
    RegQueryValueExW(handle, name.c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(handle);
    return {type, data};
}

std::wstring Wide(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

TEST(SystemRegistry, StoresEveryKindAsTheRegistrysOwnTypeAndKeepsTheStoresRules)
{
    RegistrySandbox sandbox;
    RegistryStore store = sandbox.Open();
    RegistryKey key = store.OpenKey(Hive::LocalMachine, "\\" + kOptions);
    key.WriteString("PostBoxOut", "c:\\DEPO\\Почта\\Out");
    key.WriteExpandString("TempSend", "%TEMP%\\send");
    key.WriteInteger("Port", -21);
    key.WriteBool("Passive", true);
    key.WriteFloat("Start1", 1.395833333);
    key.WriteString("KodSend", "12");
    key.WriteString("IP", "10.0.0.1");

    const std::wstring raw = Wide(sandbox.Key() + "\\HKEY_LOCAL_MACHINE\\" + kOptions);
    const auto text = Raw(HKEY_CURRENT_USER, raw, L"PostBoxOut");
    EXPECT_EQ(text.first, static_cast<DWORD>(REG_SZ));
    const std::wstring expected = L"c:\\DEPO\\\u041f\u043e\u0447\u0442\u0430\\Out";
    ASSERT_EQ(text.second.size(), (expected.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(text.second.data())), expected);
    EXPECT_EQ(Raw(HKEY_CURRENT_USER, raw, L"TempSend").first, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(Raw(HKEY_CURRENT_USER, raw, L"Port").first, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Raw(HKEY_CURRENT_USER, raw, L"Start1").first, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(Raw(HKEY_CURRENT_USER, raw, L"Start1").second.size(), 8u);

    // Read back through a new store, names in any letter case.
    RegistryStore again = sandbox.Open();
    const RegistryKey read = again.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_EQ(read.ReadString("postboxout"), "c:\\DEPO\\Почта\\Out");
    EXPECT_EQ(read.ReadString("TEMPSEND"), "%TEMP%\\send");
    EXPECT_EQ(read.ReadInteger("port"), -21);
    EXPECT_TRUE(read.ReadBool("Passive"));
    EXPECT_DOUBLE_EQ(read.ReadFloat("Start1"), 1.395833333);
    EXPECT_FALSE(read.ValueExists("Absent"));
    EXPECT_EQ(read.ReadIntegerIfPresent("Absent"), std::nullopt);
    // The size is checked before the type: a short text read as a number is of the wrong
    // type, a longer one does not fit.
    EXPECT_EQ(ErrorOf([&] { (void)read.ReadInteger("KodSend"); }), "Invalid data type for 'KodSend'");
    EXPECT_EQ(ErrorOf([&] { (void)read.ReadInteger("IP"); }), "Failed to get data for 'IP'");
    EXPECT_EQ(ErrorOf([&] { (void)read.ReadString("Port"); }), "Invalid data type for 'Port'");
    EXPECT_EQ(ErrorOf([&] { (void)read.ReadString("Absent"); }), "Failed to get data for 'Absent'");
    EXPECT_EQ(read.GetDataInfo("KodSend")->Size,
              3u); // as an ANSI reader is told: two characters and the zero
}

TEST(SystemRegistry, ReadsWhatAnotherProgramWroteAndKeepsItsSpelling)
{
    RegistrySandbox sandbox;
    const std::string options = sandbox.HiveKey(Hive::LocalMachine) + "\\" + kOptions;
    ASSERT_EQ(Reg({"add", options, "/v", "WindowUnkNown", "/t", "REG_DWORD", "/d", "2", "/f"}), 0);
    ASSERT_EQ(Reg({"add", options, "/v", "UnKnOwn", "/t", "REG_SZ", "/d", "C:\\DEPO\\UnKnOwn", "/f"}), 0);
    ASSERT_EQ(Reg({"add", options, "/v", "Odd", "/t", "REG_MULTI_SZ", "/d", "a\\0b", "/f"}), 0);

    RegistryStore store = sandbox.Open();
    RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_TRUE(key.ReadBool("WindowUnknown")); // any non-zero number is on
    EXPECT_EQ(key.ReadString("UNKNOWN"), "C:\\DEPO\\UnKnOwn");
    // A kind this program never writes is of the wrong type for every reader.
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadString("Odd"); }), "Invalid data type for 'Odd'");

    key.WriteBool("WindowUnknown", false);
    const auto names = key.ValueNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "WindowUnkNown"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "WindowUnknown"), names.end());
    EXPECT_FALSE(key.ReadBool("WindowUnknown"));
}

TEST(SystemRegistry, ABatchIsSeenByItsWriterAndWrittenOnlyOnCommit)
{
    RegistrySandbox sandbox;
    RegistryStore store = sandbox.Open();
    RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
    key.WriteInteger("Interval", 30);
    {
        RegistryBatch batch(store, Hive::LocalMachine);
        key.WriteInteger("Interval", 5);
        key.WriteString("FtpIn", "In");
        EXPECT_EQ(key.ReadInteger("Interval"), 5);
        EXPECT_EQ(key.ReadString("FtpIn"), "In");
        RegistryStore other = sandbox.Open(); // another process's view
        EXPECT_EQ(other.OpenKey(Hive::LocalMachine, kOptions).ReadInteger("Interval"), 30);
    } // dropped
    EXPECT_EQ(key.ReadInteger("Interval"), 30);
    EXPECT_FALSE(key.ValueExists("FtpIn"));

    RegistryBatch batch(store, Hive::LocalMachine);
    key.WriteInteger("Interval", 15);
    key.WriteString("FtpIn", "In");
    batch.Commit();
    RegistryStore other = sandbox.Open();
    EXPECT_EQ(other.OpenKey(Hive::LocalMachine, kOptions).ReadInteger("Interval"), 15);
    EXPECT_EQ(other.OpenKey(Hive::LocalMachine, kOptions).ReadString("FtpIn"), "In");

    // The per-user hive is a hive of its own.
    EXPECT_FALSE(store.OpenKey(Hive::CurrentUser, kOptions).ValueExists("Interval"));
}

TEST(SystemRegistry, TheMachineHiveIsTheViewThe32BitProgramKeptItsSettingsIn)
{
    // The real HKEY_LOCAL_MACHINE, under a key of this test's own.
    const std::string path = "SOFTWARE\\RUX\\ORNEL_FTP_TEST_" + std::to_string(GetCurrentProcessId());
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), KEY_WOW64_32KEY, 0);
    RegistryStore store = RegistryStore::OpenSystemRegistry();
    EXPECT_EQ(store.Location(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP");
    EXPECT_TRUE(store.Folder().empty());
    RegistryKey key = store.OpenKey(Hive::LocalMachine, path);
    key.WriteString("IP", "ftp.example");
    EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, Wide(path), L"IP", KEY_WOW64_32KEY).first, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, Wide(path), L"IP", KEY_WOW64_64KEY).first,
              static_cast<DWORD>(REG_NONE));
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), KEY_WOW64_32KEY, 0);
}

TEST(FileStore, AFolderNamedOnTheCommandLineKeepsTheFileStoreOnWindowsToo)
{
    TempFolder folder;
    RegistryStore store(folder.Path() / "Настройки");
    RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
    {
        RegistryBatch batch(store, Hive::LocalMachine);
        key.WriteString("PostBoxOut", "c:\\DEPO\\Out");
        key.WriteInteger("Port", 21);
        batch.Commit();
    }
    EXPECT_TRUE(std::filesystem::exists(store.HiveFile(Hive::LocalMachine)));
    EXPECT_EQ(store.Location(), PathToUtf8(folder.Path() / "Настройки"));

    // Another writer's save is seen by the next read; the file is replaced under our open
    // snapshot of it.
    RegistryStore other(folder.Path() / "Настройки");
    other.OpenKey(Hive::LocalMachine, kOptions).WriteInteger("Port", 2121);
    EXPECT_EQ(key.ReadInteger("Port"), 2121);
    EXPECT_EQ(key.ReadString("postboxout"), "c:\\DEPO\\Out");
}

// A folder named in the environment keeps its name whatever the ANSI code page: the variable
// is read in the system's wide form.
TEST(FileStore, AFolderNamedInTheEnvironmentKeepsANameOutsideTheAnsiCodePage)
{
    const wchar_t* kVariable = L"ORNEL_FTP_REGISTRY_DIR";
    const wchar_t* earlier = _wgetenv(kVariable);
    const std::wstring saved = earlier != nullptr ? earlier : L"";
    ASSERT_EQ(_wputenv_s(kVariable, L"C:\\Настройки агента ∑"), 0);
    const std::filesystem::path chosen = RegistryStore::ResolveFolder("");
    (void)_wputenv_s(kVariable, saved.c_str());
    EXPECT_EQ(PathToUtf8(chosen), "C:\\Настройки агента ∑");
}

} // namespace
} // namespace ornel::test
