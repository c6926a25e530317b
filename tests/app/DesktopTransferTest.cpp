// The tray application's desktop through a cycle's long waits: the controller with the Qt
// desktop, the FTP call thread and a real server, run offscreen. What a person sees is read
// from the widgets while a file is on its way on a slow line; while a batch of files is made
// durable, the window's thread must go on serving its events.
#include "app/SilentSoundPlayer.h"
#include "app/SiteOptions.h"
#include "app/TFMain.h"
#include "journal/Journal.h"
#include "platform/CrashPoint.h"
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

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <thread>

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

// A site on a real server: the server's folders In and Out, the client's folders and options
// in a store of their own, and a new journal.
struct TestSite
{
    explicit TestSite(
        const std::function<std::unique_ptr<RealFtpServer>(const std::filesystem::path&)>& start)
    {
        std::filesystem::create_directories(root / "In");
        std::filesystem::create_directories(root / "Out");
        server = start(root);
        std::filesystem::create_directories(client / "work");
        WriteSiteOptions(registry, *server, client);
        Journal::Create(journalFile);
    }

    TempFolder folder;
    std::filesystem::path root = folder / "server";
    std::filesystem::path client = folder / "client";
    std::filesystem::path journalFile = folder / "ornel_ftp.db";
    std::unique_ptr<RealFtpServer> server;
    RegistryStore registry{folder / "registry"};
};

// The tray application's parts as its start-up puts them together, automation off.
struct TrayApplication
{
    TrayApplication(RegistryStore& registry, const std::filesystem::path& client,
                    const std::filesystem::path& journalFile)
        : desktop(tray, status, messages, unknownFiles)
        , frontEnd{desktop,
                   loop,
                   clock,
                   sound,
                   registry,
                   [] { return std::make_unique<QtTimer>(); },
                   [this] { return std::make_unique<InotifyWatcher>(loop); }}
        , main(frontEnd, StartupPaths{client / "work", journalFile})
    {
        main.SetFtpCallGate(&ftpCalls);
        main.FormCreate(TFMain::Automation::Off);
    }

    SystemClock clock;
    QtEventLoop loop;
    SilentSoundPlayer sound;
    TrayIcon tray;
    TFUStatus status{nullptr};
    TFMess messages;
    TFUnkNownFiles unknownFiles;
    QtDesktop desktop;
    QtFtpCallThread ftpCalls;
    FrontEnd frontEnd;
    TFMain main;
};

TEST(DesktopDuringTransfer, StaysAliveThroughASlowUploadAndExitWaitsForTheFileInTransfer)
{
    if (!RealFtpServer::PyftpdlibAvailable()) {
        GTEST_SKIP() << "pyftpdlib is not installed";
    }
    TestSite site([](const std::filesystem::path& root) {
        return RealFtpServer::StartSlowDemoServer(root, kLineRate);
    });
    const auto& root = site.root;
    const auto& client = site.client;
    WriteFile(client / "PostBoxOut" / kBig, std::string(kBigSize, 'x'));
    WriteFile(client / "PostBoxOut" / kNext, "next\r\n");
    TrayApplication app(site.registry, client, site.journalFile);
    TrayIcon& tray = app.tray;
    TFUStatus& status = app.status;
    TFMain& main = app.main;

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

// What the window's thread did while the batch stood at each of its points, first passage
// only: whether an event posted to it from there was served within the bound.
std::map<std::string, bool> g_servedAt;
std::thread::id g_windowThread;

void PostAndWaitForTheWindow(std::string_view point)
{
    const std::string name(point);
    if ((name != "batch-staged" && name != "batch-synced" && name != "batch-committing" &&
         name != "batch-deleted") ||
        g_servedAt.count(name) > 0) {
        return;
    }
    if (std::this_thread::get_id() == g_windowThread) {
        // Nothing posted from here can be served before this returns.
        g_servedAt[name] = false;
        return;
    }
    auto served = std::make_shared<std::atomic<bool>>(false);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [served] { *served = true; }, Qt::QueuedConnection);
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!*served && std::chrono::steady_clock::now() < bound) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    g_servedAt[name] = *served;
}

TEST(DesktopDuringTransfer, ServesItsEventsWhileABatchOfFilesIsMadeDurable)
{
    if (!RealFtpServer::PyftpdlibAvailable()) {
        GTEST_SKIP() << "pyftpdlib is not installed";
    }
    TestSite site([](const std::filesystem::path& root) { return RealFtpServer::StartPyftpdlib(root); });
    const auto& root = site.root;
    const auto& client = site.client;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        WriteFile(client / "PostBoxOut" / name, std::string("content of ") + name + "\r\n");
    }
    TrayApplication app(site.registry, client, site.journalFile);

    // The batches' copies, flushes, commits and deletions run on the FTP client's thread,
    // which posts an event to the window's thread from there: a repaint, a tick of the tray's
    // animation or a click would wait as long as it does.
    g_servedAt.clear();
    g_windowThread = std::this_thread::get_id();
    SetCrashPointHookForTesting(&PostAndWaitForTheWindow);
    const bool ran = app.main.RunSendReceive();
    SetCrashPointHookForTesting(nullptr);
    app.main.FormClose();

    ASSERT_TRUE(ran);
    const std::string protocol = app.status.Memo1->toPlainText().toStdString();
    // The files were copied into the work folder, journaled, and their sources deleted in the
    // post box.
    for (const char* point : {"batch-staged", "batch-synced", "batch-committing", "batch-deleted"}) {
        ASSERT_EQ(g_servedAt.count(point), 1u) << point << "\n" << protocol;
        EXPECT_TRUE(g_servedAt[point]) << "the window's thread waited at " << point;
    }
    // And the cycle did its work all the same.
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        EXPECT_TRUE(std::filesystem::exists(root / "In" / name)) << name << "\n" << protocol;
        EXPECT_FALSE(std::filesystem::exists(client / "PostBoxOut" / name)) << name;
    }
}

} // namespace
} // namespace ornel::test
