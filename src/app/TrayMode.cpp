// The tray application: Qt windows, timers and event loop around the controller.
#include "app/FrontEnds.h"
#include "app/OptionsAdapter.h"
#include "app/Paths.h"
#include "app/TFMain.h"
#include "platform/InotifyWatcher.h"
#include "platform/RegistryStore.h"
#include "platform/SystemClock.h"
#include "ui/FileListStore.h"
#include "ui/QtDesktop.h"
#include "ui/QtEventLoop.h"
#include "ui/QtSoundPlayer.h"
#include "ui/QtTimer.h"
#include "ui/TFAbout.h"
#include "ui/TFMess.h"
#include "ui/TFUStatus.h"
#include "ui/TFUnkNownFiles.h"
#include "ui/TrayIcon.h"
#include "ui/options/TFOptions.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <exception>
#include <memory>

namespace ornel
{

int RunTray(const CommandLine& line, int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Ornel FTP");
    QApplication::setApplicationDisplayName("Ornel FTP");
    // The program lives in the tray: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    RegistryStore registry = OpenSettingsStore(line.RegistryDir);
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
                      [&loop] { return std::make_unique<InotifyWatcher>(loop); }};
    StartupPaths paths{LogFolder(), line.Journal.value_or(DefaultJournalFile())};
    TFMain main(frontEnd, paths);

    try {
        main.FormCreate();
    } catch (const std::exception& e) {
        // Nothing else has been touched when the log cannot be opened: say so and end.
        desktop.ShowMessageBox("Ошибка", e.what(), MessageIcon::Error);
        return 1;
    }
    tray.Show();
    JournalFileListStore fileList(main.JournalStore());
    if (main.JournalStore().IsOpen()) {
        status.SetFileListStore(&fileList);
    }
    status.SetSiteOpener([&tray] { tray.BrowseSite(); });
    main.SetOnCycleFinished([&status] { status.RefreshJournal(); });

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
    QObject::connect(&tray, &TrayIcon::StatusClicked, [&status] {
        status.RefreshJournal();
        status.ShowStatus();
    });
    QPointer<TFAbout> about;
    QObject::connect(&tray, &TrayIcon::AboutClicked, [&registry, &about] {
        if (about) {
            about->raise();
            about->activateWindow();
            return;
        }
        about = new TFAbout(&registry);
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
    loop.Shutdown();
    try {
        main.FormClose();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ornel_ftp: %s\n", e.what());
        return 1;
    }
    return status_code;
}

} // namespace ornel
