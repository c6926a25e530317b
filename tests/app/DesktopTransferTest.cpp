// The tray application's desktop through a slow real upload: the controller with the Qt
// desktop, the FTP call thread and a real server on a slow line, run offscreen. What a
// person sees is read from the widgets while the file is on its way.
#include "app/SilentSoundPlayer.h"
#include "app/SiteOptions.h"
#include "app/TFMain.h"
#include "journal/Journal.h"
#include "platform/InotifyWatcher.h"
#include "platform/RegistryStore.h"
#include "platform/SystemClock.h"
#include "support/RealFtpServer.h"
#include "support/TempFolder.h"
#include "ui/QtDesktop.h"
#include "ui/QtEventLoop.h"
#include "ui/QtFtpCallThread.h"
#include "ui/QtTimer.h"
#include "ui/TFMess.h"
#include "ui/TFUStatus.h"
#include "ui/TFUnkNownFiles.h"
#include "ui/TrayIcon.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <gtest/gtest.h>

namespace ornel::test
{
namespace
{

constexpr int kLineRate = 512 * 1024;     // bytes per second both ways
constexpr int kBigSize = 3 * 1024 * 1024; // several seconds on that line
constexpr const char* kBig = "a_big.bin"; // sent first (names go in order)
constexpr const char* kNext = "b_next.txt";

struct Sample
{
    qint64 Ms;
    QImage Icon;
    int Value;
    int Maximum;
    bool CycleItemsEnabled;
};

// The longest time between two samples that differ by `changed`, over the samples given.
template <typename Changed> qint64 LongestWithoutChange(const std::vector<Sample>& samples, Changed changed)
{
    qint64 longest = 0;
    qint64 since = samples.empty() ? 0 : samples.front().Ms;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (changed(samples[i - 1], samples[i])) {
            longest = std::max(longest, samples[i].Ms - since);
            since = samples[i].Ms;
        }
    }
    return samples.empty() ? 0 : std::max(longest, samples.back().Ms - since);
}

TEST(DesktopDuringTransfer, StaysAliveThroughASlowUploadAndExitWaitsForTheFileInTransfer)
{
    if (!RealFtpServer::PyftpdlibAvailable()) {
        GTEST_SKIP() << "pyftpdlib is not installed";
    }
    TempFolder folder;
    const auto root = folder / "server";
    std::filesystem::create_directories(root / "In");
    std::filesystem::create_directories(root / "Out");
    auto server = RealFtpServer::StartSlowDemoServer(root, kLineRate);
    const auto client = folder / "client";
    std::filesystem::create_directories(client / "work");
    std::filesystem::create_directories(client / "PostBoxOut");
    WriteFile(client / "PostBoxOut" / kBig, std::string(kBigSize, 'x'));
    WriteFile(client / "PostBoxOut" / kNext, "next\r\n");
    const auto journalFile = folder / "ornel_ftp.db";
    Journal::Create(journalFile);

    RegistryStore registry(folder / "registry");
    WriteSiteOptions(registry, *server, client);

    SystemClock clock;
    QtEventLoop loop;
    SilentSoundPlayer sound;
    TrayIcon tray;
    TFUStatus status(nullptr);
    TFMess messages;
    TFUnkNownFiles unknownFiles;
    QtDesktop desktop(tray, status, messages, unknownFiles);
    QtFtpCallThread ftpCalls;
    FrontEnd frontEnd{desktop,
                      loop,
                      clock,
                      sound,
                      registry,
                      [] { return std::make_unique<QtTimer>(); },
                      [&loop] { return std::make_unique<InotifyWatcher>(loop); }};
    TFMain main(frontEnd, StartupPaths{client / "work", journalFile});
    main.SetFtpCallGate(&ftpCalls);
    main.FormCreate(TFMain::Automation::Off);

    // What a person sees, ten times a second, for as long as the UI thread lets the timer run.
    std::vector<Sample> samples;
    QElapsedTimer elapsed;
    QTimer sampler;
    bool commandsServed = false;
    bool secondCycleStarted = true;
    bool exitNow = true;
    bool closable = false;
    bool statusShownDuringUpload = false;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        samples.push_back({elapsed.elapsed(), tray.Icon().icon().pixmap(32, 32).toImage(), status.PB->value(),
                           status.PB->maximum(), tray.N16->isEnabled()});
        // The person's commands while the big file is on its way: a second cycle, the status
        // window, "Выход".
        if (!commandsServed && status.PB->maximum() == kBigSize && status.PB->value() > 0) {
            commandsServed = true;
            secondCycleStarted = main.RunReceiveSend();
            status.ShowStatus();
            statusShownDuringUpload = status.isVisible();
            exitNow = main.RequestExit([&] { closable = true; });
        }
    });
    elapsed.start();
    sampler.start(100);
    ASSERT_TRUE(main.RunSendReceive());
    sampler.stop();
    main.FormClose();
    if (std::getenv("ORNEL_SHOW_SAMPLES") != nullptr) {
        for (const Sample& s : samples) {
            std::printf("%lld %d/%d %d\n", static_cast<long long>(s.Ms), s.Value, s.Maximum,
                        s.CycleItemsEnabled);
        }
    }

    const std::string protocol = status.Memo1->toPlainText().toStdString();
    ASSERT_TRUE(commandsServed) << protocol;
    EXPECT_FALSE(secondCycleStarted);
    EXPECT_FALSE(exitNow);
    EXPECT_TRUE(closable);
    EXPECT_TRUE(statusShownDuringUpload);
    EXPECT_TRUE(tray.N16->isEnabled());

    // The samples of the big file's upload.
    std::vector<Sample> upload;
    for (const Sample& s : samples) {
        if (s.Maximum == kBigSize && s.Value > 0) {
            upload.push_back(s);
        }
    }
    ASSERT_GE(upload.size(), 2u);
    const qint64 duration = upload.back().Ms - upload.front().Ms;
    EXPECT_GE(duration, 3000) << "the upload was too quick to say anything";
    for (const Sample& s : upload) {
        EXPECT_FALSE(s.CycleItemsEnabled);
    }
    // The UI thread served its timer all along, the icon moved at least every second and so
    // did the bar, which only ever went forward.
    EXPECT_LE(LongestWithoutChange(upload, [](const Sample&, const Sample&) { return true; }), 400);
    EXPECT_LE(LongestWithoutChange(upload, [](const Sample& a, const Sample& b) { return a.Icon != b.Icon; }),
              1000);
    EXPECT_LE(
        LongestWithoutChange(upload, [](const Sample& a, const Sample& b) { return a.Value < b.Value; }),
        1000);
    for (std::size_t i = 1; i < upload.size(); ++i) {
        EXPECT_LE(upload[i - 1].Value, upload[i].Value);
    }

    // "Выход" said so and let the file in transfer finish; nothing was started after it.
    const auto exitLine = protocol.find("Выход: обмен будет остановлен после текущего файла");
    ASSERT_NE(exitLine, std::string::npos) << protocol;
    EXPECT_NE(protocol.find(std::string("Передали файл ") + kBig), std::string::npos) << protocol;
    EXPECT_EQ(protocol.find("Передаем файл", exitLine), std::string::npos) << protocol;
    EXPECT_EQ(protocol.find("Прием"), std::string::npos) << protocol;
    EXPECT_NE(protocol.find("Стоп передача/прием", exitLine), std::string::npos) << protocol;
    EXPECT_EQ(std::filesystem::file_size(root / "In" / kBig), static_cast<std::uintmax_t>(kBigSize));
    EXPECT_TRUE(std::filesystem::exists(client / "TempSend" / kNext));
}

} // namespace
} // namespace ornel::test
