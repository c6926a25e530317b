#include "engine/FilesFixture.h"
#include "platform/CodePage.h"

#include <cstring>
#include <gtest/gtest.h>

namespace ornel::test
{

namespace fs = std::filesystem;

namespace
{

const std::vector<std::string> kBeeps = {"beep 1000 100", "beep 2000 100", "beep 3000 100", "beep 4000 100",
                                         "beep 5000 100"};

} // namespace

TEST(Counters, TotalsInTheRegistry)
{
    FilesFixture f;
    f.counters.CountSent(2048);
    TransferTotals t = f.counters.Read();
    EXPECT_EQ(t.FileSendCount, 1);
    EXPECT_DOUBLE_EQ(t.FileSendSize, 2.0);
    EXPECT_EQ(t.FileReciveCount, 0);

    f.counters.CountSent(100);
    f.counters.CountSent(0);
    f.counters.CountReceived(std::int64_t{3} << 30); // 3 GiB
    f.counters.CountReceived((std::int64_t{2} << 30) + 512);
    t = f.counters.Read();
    EXPECT_EQ(t.FileSendCount, 3);
    EXPECT_DOUBLE_EQ(t.FileSendSize, 2.09765625);
    EXPECT_EQ(t.FileReciveCount, 2);
    EXPECT_DOUBLE_EQ(t.FileReciveSize, 3145728.0 + 2097152.5);

    // Stored as the registry would hold them: a DWORD and an 8-byte binary double.
    RegistryKey key = f.registry.OpenKey(Hive::LocalMachine, Counters::kKey);
    EXPECT_EQ(key.GetDataInfo("FileSendCount")->Kind, RegKind::Dword);
    EXPECT_EQ(key.GetDataInfo("FileReciveSize")->Kind, RegKind::Binary);
    EXPECT_EQ(key.GetDataInfo("FileReciveSize")->Size, 8u);
    // Another store over the same folder (the About window, a restart) sees the totals.
    RegistryStore again(f.root / "registry");
    EXPECT_EQ(Counters(again).Read().FileReciveCount, 2);

    // The count is a 32-bit value and wraps.
    key.WriteInteger("FileSendCount", 2147483647);
    f.counters.CountSent(0);
    EXPECT_EQ(f.counters.Read().FileSendCount, -2147483647 - 1);

    // A value of another type is an error for the caller, and nothing is changed.
    key.WriteString("FileReciveCount", "x");
    EXPECT_THROW(f.counters.CountReceived(10), std::runtime_error);
    EXPECT_DOUBLE_EQ(key.ReadFloat("FileReciveSize"), 3145728.0 + 2097152.5);
}

// A batch writes its counts once, at its flush, and comes to the very totals that one write
// per file gives; a flush that fails keeps the counts for the next one.
TEST(Counters, ABatchWritesOnceAndAddsAsSingleCallsWould)
{
    FilesFixture f;
    RegistryStore single(f.root / "single");
    Counters one(single);
    const std::vector<std::int64_t> sizes = {100, 2048, 1, 0, std::int64_t{3} << 30, 4095, 777777};
    for (const auto size : sizes) {
        one.CountSent(size);
        one.CountReceived(size + 1);
    }

    EXPECT_EQ(f.counters.Read().FileSendCount, 0);
    const auto hive = f.registry.HiveFile(Hive::LocalMachine);
    const std::string before = ReadFile(hive);
    f.counters.BeginBatch();
    for (const auto size : sizes) {
        f.counters.CountSent(size);
        f.counters.CountReceived(size + 1);
    }
    EXPECT_EQ(ReadFile(hive), before) << "nothing written before the flush";
    f.counters.FlushBatch();

    const TransferTotals batched = f.counters.Read();
    const TransferTotals singly = one.Read();
    EXPECT_EQ(batched.FileSendCount, 7);
    EXPECT_EQ(batched.FileReciveCount, 7);
    // Bit for bit: the kilobytes are added file by file in the same order.
    EXPECT_EQ(std::memcmp(&batched.FileSendSize, &singly.FileSendSize, sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(&batched.FileReciveSize, &singly.FileReciveSize, sizeof(double)), 0);

    RegistryKey key = f.registry.OpenKey(Hive::LocalMachine, Counters::kKey);
    key.WriteString("FileSendCount", "x");
    f.counters.BeginBatch();
    f.counters.CountSent(1024);
    EXPECT_THROW(f.counters.FlushBatch(), std::runtime_error);
    key.WriteInteger("FileSendCount", 7);
    f.counters.CountSent(2048);
    EXPECT_EQ(f.counters.Read().FileSendCount, 9) << "the held count came with the next write";
}

TEST(Notifications, BeeperWhenSoundsAreOffWhateverTheSwitches)
{
    FilesFixture f;
    f.settings.SoundOFF = true;
    for (const auto event : {SoundEvent::ExchangeStart, SoundEvent::FilesOnServer, SoundEvent::ErrorFile,
                             SoundEvent::UnKnOwnFiles}) {
        f.sound.Calls.clear();
        f.notifications.PlayNotification(event);
        EXPECT_EQ(f.sound.Calls, kBeeps);
    }
}

TEST(Notifications, SoundFilesSwitchesAndFallbacks)
{
    FilesFixture f;
    const std::string start = (f.root / "start.wav").string();
    const std::string ftp = (f.root / "ftp.wav").string();
    WriteFile(start, "RIFF");
    WriteFile(ftp, "RIFF");
    f.settings.PlayStart = start;
    f.settings.PlayFTP = ftp;

    f.notifications.PlayNotification(SoundEvent::ExchangeStart);
    EXPECT_TRUE(f.sound.Calls.empty()) << "switch off: no sound at all";

    f.settings.PlaySound = true;
    f.settings.PlaySoundFTP = true;
    f.notifications.PlayNotification(SoundEvent::ExchangeStart);
    EXPECT_EQ(f.sound.Calls, std::vector<std::string>{"play " + start});
    // A second sound while the first plays stops it first.
    f.notifications.PlayNotification(SoundEvent::FilesOnServer);
    EXPECT_EQ(f.sound.Calls, (std::vector<std::string>{"play " + start, "stop", "play " + ftp}));

    // No file, a missing file, a quoted path: the beeper stands in.
    f.sound.IsPlaying = false;
    for (const std::string& file : {std::string(), (f.root / "gone.wav").string(), "\"" + start + "\""}) {
        f.settings.PlaySoundERR = true;
        f.settings.PlayERR = file;
        f.sound.Calls.clear();
        f.notifications.PlayNotification(SoundEvent::ErrorFile);
        EXPECT_EQ(f.sound.Calls, kBeeps) << file;
    }
    f.settings.PlaySoundUnknown = true;
    f.settings.PlayUnknown = ftp;
    f.sound.Calls.clear();
    f.notifications.PlayNotification(SoundEvent::UnKnOwnFiles);
    EXPECT_EQ(f.sound.Calls, std::vector<std::string>{"play " + ftp});
}

TEST(Notifications, ErrorFileAlert)
{
    FilesFixture f;
    const std::string report = (f.root / "x.dat").string();
    WriteFile(report, Utf8ToCp1251("Документ отклонён\r\nКод 12\r\n"));

    f.notifications.ShowErrorFile(report);
    EXPECT_TRUE(f.Lines().empty()) << "monitoring off: nothing";

    f.settings.ERRMonitoring = true;
    f.settings.SoundOFF = true;
    f.notifications.ShowErrorFile(report);
    EXPECT_EQ(f.Lines(), std::vector<std::string>{"08.12.2026 14:05:09 Обнаружен файл *.ERR: " + report});
    EXPECT_EQ(f.sound.Calls, kBeeps);
    EXPECT_TRUE(f.desktop.MessageWindowBlocks.empty());

    f.settings.WindowERR = true;
    f.notifications.ShowErrorFile(report);
    f.notifications.ShowErrorFile(report);
    ASSERT_EQ(f.desktop.MessageWindowBlocks.size(), 2u);
    EXPECT_EQ(f.desktop.MessageWindowBlocks[0], "-----------------------\n08.12.2026 14:05:09\n"
                                                "Обнаружен файл *.ERR: " +
                                                    report +
                                                    "\nДокумент отклонён\nКод 12\n-----------------------");

    // A report that vanished: the sound and the line happen, then the error rises.
    f.desktop.ProtocolLines.clear();
    EXPECT_THROW(f.notifications.ShowErrorFile((f.root / "gone.dat").string()), std::runtime_error);
    EXPECT_EQ(f.Lines().size(), 1u);
}

} // namespace ornel::test
