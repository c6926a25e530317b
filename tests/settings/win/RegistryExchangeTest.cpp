#include "platform/CodePage.h"
#include "platform/RegFile.h"
#include "settings/RegExchange.h"
#include "support/RegFileText.h"
#include "support/RegistrySandbox.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace ornel::test
{
namespace
{

const std::string kOptions = "SOFTWARE\\RUX\\ORNEL_FTP\\Options";
const std::string kCounters = "SOFTWARE\\RUX\\ORNEL_FTP";

TEST(RegistryExchange, AWindowsExportGoesIntoTheRegistryAndComesBackOut)
{
    TempFolder folder;
    RegistrySandbox sandbox;
    RegistryStore store = sandbox.Open();

    // What regedit writes on a machine of the earlier program: REGEDIT4 in Windows-1251,
    // the keys in the 32-bit view's place.
    const std::string expand = Utf8ToCp1251("%USERPROFILE%\\Архив") + std::string(1, '\0');
    const std::string text = "REGEDIT4\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\RUX\\ORNEL_FTP]\r\n"
                             "\"FileSendCount\"=dword:0000002a\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\RUX\\ORNEL_FTP\\Options]\r\n"
                             "\"PostBoxOut\"=\"c:\\\\DEPO\\\\Исходящие\"\r\n"
                             "\"Port\"=dword:00000015\r\n"
                             "\"Start1\"=hex:55,55,55,55,55,55,f6,3f\r\n"
                             "\"Obsolete\"=\"kept out\"\r\n"
                             "\"ArcSend\"=hex(2):";
    WriteFile(folder / "win.reg", Utf8ToCp1251(text) + HexList(expand) + "\r\n\r\n");

    const ImportReport report = ImportRegistry(store, folder / "win.reg");
    EXPECT_EQ(report.Imported, 5);
    ASSERT_EQ(report.Skipped, std::vector<std::string>{"Obsolete"});

    RegistryStore reader = sandbox.Open();
    const RegistryKey options = reader.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_EQ(options.ReadString("PostBoxOut"), "c:\\DEPO\\Исходящие");
    EXPECT_EQ(options.GetDataInfo("ArcSend")->Kind, RegKind::ExpandSz);
    EXPECT_EQ(options.ReadString("ArcSend"), "%USERPROFILE%\\Архив");
    EXPECT_EQ(options.ReadInteger("Port"), 21);
    EXPECT_NEAR(options.ReadFloat("Start1"), 1.3958333, 1e-6);
    EXPECT_FALSE(options.ValueExists("Obsolete"));
    EXPECT_EQ(reader.OpenKey(Hive::LocalMachine, kCounters).ReadInteger("FileSendCount"), 42);

    // Out again, and into a second registry: the same values of the same kinds.
    ExportRegistry(store, folder / "out.reg");
    RegistrySandbox second;
    RegistryStore copy = second.Open();
    EXPECT_EQ(ImportRegistry(copy, folder / "out.reg").Imported, 5);
    RegistryStore copyReader = second.Open();
    const RegistryKey copied = copyReader.OpenKey(Hive::LocalMachine, kOptions);
    for (const std::string name : {"PostBoxOut", "ArcSend"}) {
        EXPECT_EQ(copied.ReadString(name), options.ReadString(name)) << name;
        EXPECT_EQ(copied.GetDataInfo(name)->Kind, options.GetDataInfo(name)->Kind) << name;
    }
    EXPECT_EQ(copied.ReadInteger("Port"), 21);
    EXPECT_DOUBLE_EQ(copied.ReadFloat("Start1"), options.ReadFloat("Start1"));
}

TEST(RegistryExchange, AValueOfTheWrongKindLeavesTheRegistryAsItWas)
{
    TempFolder folder;
    RegistrySandbox sandbox;
    RegistryStore store = sandbox.Open();
    store.OpenKey(Hive::LocalMachine, kOptions).WriteString("IP", "10.0.0.1");
    WriteFile(folder / "bad.reg",
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\r\n"
              "\"IP\"=\"10.9.9.9\"\r\n\"Port\"=\"21\"\r\n\r\n");
    EXPECT_THROW(ImportRegistry(store, folder / "bad.reg"), std::runtime_error);
    EXPECT_EQ(sandbox.Open().OpenKey(Hive::LocalMachine, kOptions).ReadString("IP"), "10.0.0.1");
}

} // namespace
} // namespace ornel::test
