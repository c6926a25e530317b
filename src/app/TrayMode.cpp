// The tray application: Qt windows, timers and event loop around the controller.
#include "app/AgentLock.h"
#include "app/FrontEnds.h"
#include "app/OptionsAdapter.h"
#include "app/Paths.h"
#include "app/TFMain.h"
#include "platform/FolderWatcher.h"
#include "platform/InstanceLock.h"
#include "platform/RegistryStore.h"
#include "platform/SystemClock.h"
#include "ui/Contacts.h"
#include "ui/DesktopNotifications.h"
#include "ui/FileListStore.h"
#include "ui/InstanceChannel.h"
#include "ui/QtDesktop.h"
#include "ui/QtEventLoop.h"
#include "ui/QtFtpCallThread.h"
#include "ui/QtSoundPlayer.h"
#include "ui/QtTimer.h"
#include "ui/QtTranslations.h"
#include "ui/TFAbout.h"
#include "ui/TFMess.h"
#include "ui/TFUStatus.h"
#include "ui/TFUnkNownFiles.h"
#include "ui/TrayIcon.h"
#include "ui/options/TFOptions.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMessageBox>
#include <QPointer>
#include <QTranslator>
#include <cstdio>
#include <exception>
#include <memory>

namespace ornel
{

namespace
{

// How long a second start waits for the running tray application to answer.
constexpr std::chrono::seconds kAnswerWait{5};

// A platform without a screen (offscreen) can show no box: the message goes to stderr only.
bool HasScreen()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal");
}

// The second start on a store: a running tray application brings its status window
// forward and this start has done what was asked (status 0); any other agent (the service,
// a cycle) is named with its PID and this start ends with kExitAlreadyRunning.
int SecondStart(const std::filesystem::path& storeFolder, std::int64_t holder)
{
    if (InstanceChannel::RequestShowStatus(storeFolder, kAnswerWait)) {
        return 0;
    }
    const std::string text = AlreadyRunningText(storeFolder, holder);
    std::fprintf(stderr, "ornel_ftp: %s\n", text.c_str());
    if (HasScreen()) {
        QtDesktop::MakeMessageBox("Ornel FTP", text, MessageIcon::Warning)->exec();
    }
    return kExitAlreadyRunning;
}

// Where no host shows tray icons (stock GNOME), the person is told once; the agent runs on.
void SayWhenNoTray()
{
    if (QSystemTrayIcon::isSystemTrayAvailable() || !HasScreen()) {
        return;
    }
    auto box = QtDesktop::MakeMessageBox(
        "Ornel FTP",
        "На этом рабочем столе нет области уведомлений, и значок Ornel FTP не показан. Агент "
        "продолжает работать по расписанию; окно статуса открывается повторным запуском программы.",
        MessageIcon::Information);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box.release()->show(); // not waited for: start-up goes on behind it
}

// The icon's host: a StatusNotifierItem host is there when its watcher is on the session
// bus (what Qt itself looks for when it chooses how to show the icon).
TrayHost DetectTrayHost()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* names = bus.isConnected() ? bus.interface() : nullptr;
    const bool watcher = names != nullptr &&
                         names->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
    return watcher ? TrayHost::StatusNotifier : TrayHost::Embedded;
}

} // namespace

int RunTray(const CommandLine& line, int argc, char** argv)
{
    QApplication app(argc, argv);
    // No display name: the desktop would append it to the windows' own titles.
    QApplication::setApplicationName("Ornel FTP");
    // The program lives in the tray: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QTranslator qtTexts;
    if (!InstallRussianQtTexts(app, qtTexts)) {
        std::fprintf(stderr, "ornel_ftp: Qt's Russian translations are not installed\n");
    }

    const StoreFolders store = ResolveStoreFolders(line.RegistryDir);
    std::int64_t holder = 0;
    const std::unique_ptr<InstanceLock> lock = InstanceLock::TryAcquire(store.Machine, holder);
    if (!lock) {
        return SecondStart(store.Machine, holder);
    }

    RegistryStore registry(store.Machine, store.User);
    const Contacts contacts = Contacts::Read(ContactsFile(store.Machine));
    QtFtpCallThread ftpCalls;
    SystemClock clock;
    QtEventLoop loop;
    QtSoundPlayer sound;
    TrayIcon tray;
    TFUStatus status(&registry);
    TFMess messages;
    TFUnkNownFiles unknownFiles;
    QtDesktop desktop(tray, status, messages, unknownFiles);

    FrontEnd frontEnd{desktop,
                      loop,
                      clock,
                      sound,
                      registry,
                      [] { return std::make_unique<QtTimer>(); },
                      [&loop] { return MakeFolderWatcher(loop); }};
    StartupPaths paths{LogFolder(), line.Journal.value_or(DefaultJournalFile())};
    TFMain main(frontEnd, paths);
    main.SetFtpCallGate(&ftpCalls);
    tray.SetHost(DetectTrayHost());
    std::unique_ptr<DesktopNotifications> notifications;
    if (tray.Host() == TrayHost::StatusNotifier &&
        DesktopNotifications::ServicePresent(QDBusConnection::sessionBus())) {
        notifications = std::make_unique<DesktopNotifications>(QDBusConnection::sessionBus());
        tray.SetNotifications(notifications.get());
    }
    tray.SetContacts(contacts);
    status.SetContacts(contacts);

    try {
        main.FormCreate();
    } catch (const std::exception& e) {
        // Nothing else has been touched when the log cannot be opened: say so and end.
        desktop.ShowMessageBox("Ошибка", e.what(), MessageIcon::Error);
        return 1;
    }
    tray.Show();
    SayWhenNoTray();
    JournalFileListStore fileList(main.JournalStore());
    if (main.JournalStore().IsOpen()) {
        status.SetFileListStore(&fileList);
    }
    status.SetSiteOpener([&tray] { tray.BrowseSite(); });
    main.SetOnCycleFinished([&status] { status.RefreshJournal(); });
    main.JournalStore().SetOnRecorded(
        [&status](const std::string& fileName) { status.FollowJournal(fileName); });

    // Errors that no handler catches reach the user as a message box, as the framework's
    // default error report would show them.
    auto guarded = [&desktop](auto&& action) {
        return [&desktop, action] {
            try {
                action();
            } catch (const std::exception& e) {
                desktop.ShowMessageBox("Ornel FTP", e.what(), MessageIcon::Error);
            }
        };
    };
    loop.SetErrorHandler([&desktop](const std::string& message) {
        desktop.ShowMessageBox("Ornel FTP", message, MessageIcon::Error);
    });

    QObject::connect(&tray, &TrayIcon::SendReceiveClicked, guarded([&main] { main.N4Click(); }));
    QObject::connect(&tray, &TrayIcon::ReceiveSendClicked, guarded([&main] { main.N2Click(); }));
    QObject::connect(&tray, &TrayIcon::MonitoringClicked, [&main, &desktop](bool checked) {
        try {
            main.N3Click(checked);
        } catch (const std::exception& e) {
            desktop.ShowMessageBox("Ornel FTP", e.what(), MessageIcon::Error);
        }
    });
    OptionsAdapter options(main);
    QObject::connect(&tray, &TrayIcon::OptionsClicked,
                     guarded([&options] { TFOptions::OpenOptions(options); }));
    auto showStatus = [&status] {
        status.RefreshJournal();
        status.ShowStatus();
    };
    QObject::connect(&tray, &TrayIcon::StatusClicked, showStatus);
    // A second start of the program brings the status window forward.
    InstanceChannel channel;
    if (!channel.Listen(store.Machine)) {
        std::fprintf(stderr, "ornel_ftp: a second start cannot reach this one: %s\n",
                     qPrintable(InstanceChannel::Address(store.Machine)));
    }
    QObject::connect(&channel, &InstanceChannel::ShowStatusRequested, showStatus);
    QPointer<TFAbout> about;
    QObject::connect(&tray, &TrayIcon::AboutClicked, [&registry, &about, &contacts] {
        if (about) {
            about->raise();
            about->activateWindow();
            return;
        }
        // Modal by its own modality rather than a loop of its own: a cycle that is waiting
        // for the server goes on while the window is open.
        about = new TFAbout(&registry, contacts);
        about->setAttribute(Qt::WA_DeleteOnClose);
        about->show();
    });
    QObject::connect(&tray, &TrayIcon::ExitClicked, [&main, &app] {
        // During a cycle the cycle ends at its next safe point first; the log and the
        // journal it writes to are closed only after that.
        if (main.RequestExit(
                [&app] { QMetaObject::invokeMethod(&app, &QApplication::quit, Qt::QueuedConnection); })) {
            app.quit();
        }
    });

    const int status_code = QApplication::exec();
    tray.SetNotifications(nullptr); // the service's connection goes before the tray
    loop.Shutdown();
    try {
        main.FormClose();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ornel_ftp: %s\n", e.what());
        return 1;
    }
    return status_code;
}

const char* TrayModeText()
{
    return "Without options the agent runs behind its tray icon.";
}

} // namespace ornel
