// Importing a 2 MB Windows-1251 export of 40,000 values, written the way regedit writes
// it, in one key and spread over 8,000 keys; then repeated reads of one value from the
// store. Given the path of another ornel_ftp (an earlier build), its --import-reg of the
// same files is timed beside this one's (make bench; never make test).
#include "platform/CodePage.h"
#include "platform/RegistryStore.h"
#include "settings/RegExchange.h"
#include "settings/SettingsTable.h"
#include "support/TempFolder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace ornel;
using namespace ornel::test;

namespace
{

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Number(int i)
{
    char digits[8];
    std::snprintf(digits, sizeof digits, "%05d", i);
    return digits;
}

// Our two keys with a few values, then 40,000 values of another program.
std::string WindowsExport(bool oneKey)
{
    std::string text =
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP]\r\n\"FileSendCount\"=dword:0000000c\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\r\n"
        "\"PostBoxOut\"=\"c:\\\\DEPO\\\\Исходящие\"\r\n\"Port\"=dword:00000015\r\n\r\n";
    if (oneKey) {
        text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Журнал]\r\n";
        for (int i = 0; i < 40000; ++i)
            text += "\"Запись" + Number(i) + "\"=\"C:\\\\Program Files\\\\Модуль\\\\" + Number(i) + "\"\r\n";
    } else {
        for (int i = 0; i < 8000; ++i) {
            char version[9];
            std::snprintf(version, sizeof version, "%08x", static_cast<unsigned>(i * 7));
            text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Компонент" + Number(i) +
                    "]\r\n\"Name\"=\"" + "Компонент номер " + std::to_string(i) +
                    "\"\r\n\"Path\"=\"C:\\\\Program Files\\\\Vendor\\\\Модуль" + Number(i) +
                    "\"\r\n\"Version\"=dword:" + version +
                    "\r\n\"Flags\"=hex:01,02,03,04,05,06,07,08\r\n"
                    "\"Dir\"=hex(2):25,54,45,4d,50,25,5c,61,00\r\n\r\n";
        }
    }
    return Utf8ToCp1251(text);
}

void WriteBytes(const fs::path& file, const std::string& bytes)
{
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        std::exit(2);
    }
}

// The wall time of `program --registry-dir DIR --import-reg FILE`, or a negative number when
// it failed or ran past ten minutes.
double TimeCommandLine(const std::string& program, const fs::path& registry, const fs::path& file)
{
    const std::string command = "timeout 600 '" + program + "' --registry-dir '" + registry.string() +
                                "' --import-reg '" + file.string() + "' >/dev/null 2>&1";
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = SecondsSince(start);
    return status == 0 ? seconds : -seconds;
}

void Report(const char* who, double seconds)
{
    if (seconds < 0)
        std::printf("  %-34s failed or stopped after %.2f s\n", who, -seconds);
    else
        std::printf("  %-34s %8.3f s\n", who, seconds);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string other = argc > 1 ? argv[1] : "";
    const fs::path self = fs::read_symlink("/proc/self/exe").parent_path() / "ornel_ftp";
    const TempFolder folder;
    for (const bool oneKey : {true, false}) {
        const fs::path file = folder / (oneKey ? "one-key.reg" : "many-keys.reg");
        WriteBytes(file, WindowsExport(oneKey));
        std::printf("%s: %.2f MB, 40,000 values %s\n", file.filename().c_str(),
                    static_cast<double>(fs::file_size(file)) / 1e6,
                    oneKey ? "in one key" : "in 8,000 keys of five");

        RegistryStore store(folder / (file.stem().string() + "-store"));
        const auto start = Clock::now();
        const ImportReport report = ImportRegistry(store, file);
        Report("ImportRegistry (in process)", SecondsSince(start));
        if (report.Imported != 3) {
            std::fprintf(stderr, "expected three values imported, got %d\n", report.Imported);
            return 1;
        }
        if (fs::exists(self))
            Report("ornel_ftp --import-reg", TimeCommandLine(self.string(), folder / "cli-store", file));
        if (!other.empty())
            Report(("other: " + fs::path(other).filename().string()).c_str(),
                   TimeCommandLine(other, folder / "other-store", file));
    }

    // Every value of the configuration in the store, then one read again and again, as the
    // loader and the counters do.
    RegistryStore store(folder / "reads");
    {
        RegistryBatch batch(store, Hive::LocalMachine);
        RegistryKey key = store.OpenKey(Hive::LocalMachine, std::string(kConfigurationKey));
        for (const SettingInfo& info : ConfigurationSettings())
            key.WriteString(std::string(info.Name), "c:\\DEPO\\POSTBOX\\00010000\\Out");
        key.WriteInteger("Port", 21);
        batch.Commit();
    }
    const RegistryKey key = store.OpenKey(Hive::LocalMachine, std::string(kConfigurationKey));
    constexpr int kReads = 100000;
    long long sum = 0;
    const auto start = Clock::now();
    for (int i = 0; i < kReads; ++i)
        sum += key.ReadInteger("Port");
    const double seconds = SecondsSince(start);
    std::printf("store reads: %d reads of one value among %zu in %.3f s, %.2f us each (sum %lld)\n", kReads,
                ConfigurationSettings().size(), seconds, seconds * 1e6 / kReads, sum);
    return 0;
}
