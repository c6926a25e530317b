#include "settings/RegExchange.h"

#include "platform/CodePage.h"
#include "platform/RegistryStore.h"
#include "settings/SettingsTable.h"
#include "support/ErrorOf.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace ornel::test
{

namespace
{

const std::string kOptions(kConfigurationKey);
const std::string kCounters(kCounterKey);

std::string Utf16Le(const std::string& utf8)
{
    // Enough for the texts below: every character in the Basic Multilingual Plane.
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp = c;
        std::size_t n = 1;
        if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1Fu;
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0Fu;
            n = 3;
        }
        for (std::size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        i += n;
        out += static_cast<char>(cp & 0xFF);
        out += static_cast<char>(cp >> 8);
    }
    return out;
}

std::string HexList(const std::string& bytes, std::string_view breakAfter)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += kHex[b >> 4];
        out += kHex[b & 15];
        if (i + 1 < bytes.size())
            out += i % 10 == 9 ? std::string(",\\") + std::string(breakAfter) + "  " : ",";
    }
    return out;
}

} // namespace

TEST(RegExchange, ExportedSettingsImportIntoAnotherStoreUnchanged)
{
    const TempFolder folder;
    RegistryStore source(folder / "a");
    {
        RegistryKey options = source.OpenKey(Hive::LocalMachine, kOptions);
        options.WriteString("PostBoxOut", "c:\\DEPO\\\"Исходящие\"");
        options.WriteExpandString("TempSend", "%TEMP%\\send");
        options.WriteInteger("Port", 2121);
        options.WriteBool("Passive", true);
        options.WriteFloat("Start1", 1.0 + 8.0 / 24);
        options.WriteString("PIN", "f9NLMtP8TSc=");
        RegistryKey counters = source.OpenKey(Hive::LocalMachine, kCounters);
        counters.WriteInteger("FileSendCount", 7);
        counters.WriteFloat("FileSendSize", 2.09765625);
    }
    const auto file = folder / "settings.reg";
    ExportRegistry(source, file);
    const std::string text = ReadFile(file);
    EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP]\r\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("\"Port\"=dword:00000849\r\n"), std::string::npos);

    RegistryStore target(folder / "b");
    const ImportReport report = ImportRegistry(target, file);
    EXPECT_EQ(report.Imported, 8);
    EXPECT_TRUE(report.Skipped.empty());
    const RegistryKey options = target.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_EQ(options.ReadString("PostBoxOut"), "c:\\DEPO\\\"Исходящие\"");
    EXPECT_EQ(options.GetDataInfo("TempSend")->Kind, RegKind::ExpandSz);
    EXPECT_EQ(options.ReadInteger("Port"), 2121);
    EXPECT_TRUE(options.ReadBool("Passive"));
    EXPECT_DOUBLE_EQ(options.ReadFloat("Start1"), 1.0 + 8.0 / 24);
    EXPECT_EQ(options.ReadString("PIN"), "f9NLMtP8TSc=");
    const RegistryKey counters = target.OpenKey(Hive::LocalMachine, kCounters);
    EXPECT_EQ(counters.ReadInteger("FileSendCount"), 7);
    EXPECT_DOUBLE_EQ(counters.ReadFloat("FileSendSize"), 2.09765625);
}

TEST(RegExchange, ImportsARegedit4FileFromWindowsInWindows1251)
{
    const TempFolder folder;
    const std::string expand = Utf8ToCp1251("%USERPROFILE%\\Архив принятых") + std::string(1, '\0');
    const std::string utf8 = "REGEDIT4\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\RUX\\ORNEL_FTP]\r\n"
                             "\"FileReciveCount\"=dword:0000000c\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\RUX\\ORNEL_FTP\\Options]\r\n"
                             "\"PostBoxIn\"=\"c:\\\\DEPO\\\\Входящие\"\r\n"
                             "\"WindowUnkNown\"=dword:00000001\r\n"
                             "\"crypttimeout\"=dword:0000000f\r\n"
                             "\"Stop5\"=hex:00,00,00,00,00,00,fb,3f\r\n"
                             "\"SomethingElse\"=\"x\"\r\n"
                             "\"ArcSend\"=hex(2):";
    WriteFile(folder / "win.reg", Utf8ToCp1251(utf8) + HexList(expand, "\r\n") + "\r\n");

    RegistryStore store(folder / "store");
    const ImportReport report = ImportRegistry(store, folder / "win.reg");
    EXPECT_EQ(report.Imported, 6);
    EXPECT_EQ(report.Skipped, std::vector<std::string>{"SomethingElse"});
    const RegistryKey options = store.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_EQ(options.ReadString("PostBoxIn"), "c:\\DEPO\\Входящие");
    EXPECT_EQ(options.ValueNames()[1], "WindowUnknown"); // stored under the program's spelling
    EXPECT_DOUBLE_EQ(options.ReadFloat("Stop5"), 1.6875);
    EXPECT_EQ(options.ReadInteger("CryptTimeout"), 15); // known although no dialog field shows it
    EXPECT_EQ(options.ReadString("ArcSend"), "%USERPROFILE%\\Архив принятых");
    EXPECT_FALSE(options.ValueExists("SomethingElse"));
    EXPECT_EQ(store.OpenKey(Hive::LocalMachine, kCounters).ReadInteger("FileReciveCount"), 12);
}

TEST(RegExchange, ImportsAVersion5FileInUtf16)
{
    const TempFolder folder;
    const std::string expand = Utf16Le("D:\\Обмен\\temp") + std::string(2, '\0');
    const std::string utf8 = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\n"
                             "\"User\"=\"Участник\"\n"
                             "\"Interval\"=dword:0000000f\n"
                             "\"TempReciv\"=hex(2):" +
                             HexList(expand, "\n") + "\n";
    WriteFile(folder / "win5.reg", "\xFF\xFE" + Utf16Le(utf8));

    RegistryStore store(folder / "store");
    EXPECT_EQ(ImportRegistry(store, folder / "win5.reg").Imported, 3);
    const RegistryKey options = store.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_EQ(options.ReadString("User"), "Участник");
    EXPECT_EQ(options.ReadInteger("Interval"), 15);
    EXPECT_EQ(options.ReadString("TempReciv"), "D:\\Обмен\\temp");
}

TEST(RegExchange, ABadFileChangesNothing)
{
    const TempFolder folder;
    RegistryStore store(folder / "store");
    store.OpenKey(Hive::LocalMachine, kOptions).WriteInteger("Port", 21);
    const std::string before = ReadFile(store.HiveFile(Hive::LocalMachine));

    WriteFile(folder / "kind.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\n"
                                   "\"IP\"=\"10.0.0.1\"\n\"Port\"=\"21\"\n");
    EXPECT_EQ(ErrorOf([&] { (void)ImportRegistry(store, folder / "kind.reg"); }),
              "Invalid data type for 'Port'");

    WriteFile(folder / "short.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\n"
                                    "\"Start1\"=hex:00,00\n");
    EXPECT_EQ(ErrorOf([&] { (void)ImportRegistry(store, folder / "short.reg"); }),
              "Invalid data type for 'Start1'");

    WriteFile(folder / "broken.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\n"
                                     "\"IP\"=\"10.0.0.1\"\n\"Port\"=dword:\n");
    EXPECT_NE(ErrorOf([&] { (void)ImportRegistry(store, folder / "broken.reg"); }).find("broken.reg, line 4"),
              std::string::npos);

    WriteFile(folder / "other.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"IP\"=\"x\"\n");
    EXPECT_NE(ErrorOf([&] { (void)ImportRegistry(store, folder / "other.reg"); }).find("other.reg"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { (void)ImportRegistry(store, folder / "missing.reg"); }).find("missing.reg"),
              std::string::npos);

    EXPECT_EQ(ReadFile(store.HiveFile(Hive::LocalMachine)), before);
}

} // namespace ornel::test
