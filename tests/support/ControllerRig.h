// The controller on fakes, for the tests of the controller and of the options dialog:
// fake clock and timers, a recording desktop, watchers that report on request, and a
// real store and log in a temp folder. The journal file does not exist, so the journal
// stays closed. Header only: a test that uses it links the controller library.
#pragma once

#include "app/SilentSoundPlayer.h"
#include "app/TFMain.h"
#include "platform/DateTime.h"
#include "platform/RegistryStore.h"
#include "support/FakeClock.h"
#include "support/FakeEventLoop.h"
#include "support/FakeFolderWatcher.h"
#include "support/RecordingDesktop.h"
#include "support/TempFolder.h"

#include <memory>
#include <vector>

namespace ornel::test
{

struct ControllerRig
{
    static constexpr const char* kOptions = "SOFTWARE\\RUX\\ORNEL_FTP\\Options";

    // A Monday inside the default working window.
    ControllerRig()
        : clock(EncodeDateTime({2026, 12, 7, 10, 0, 0, 0}))
        , loop(&clock)
        , registry(folder / "registry")
    {}

    // Builds the controller and runs its start-up.
    TFMain& StartController()
    {
        FrontEnd frontEnd{desktop,
                          loop,
                          clock,
                          sound,
                          registry,
                          [this] { return std::unique_ptr<Timer>(clock.MakeTimer()); },
                          [this] {
                              auto w = std::make_unique<FakeFolderWatcher>();
                              watchers.push_back(w.get());
                              return std::unique_ptr<FolderWatcher>(std::move(w));
                          }};
        main = std::make_unique<TFMain>(frontEnd, StartupPaths{folder.Path(), folder / "absent.db"});
        main->FormCreate();
        return *main;
    }

    RegistryKey Options() { return registry.OpenKey(Hive::LocalMachine, kOptions); }

    TempFolder folder;
    FakeClock clock;
    FakeEventLoop loop;
    RecordingDesktop desktop;
    SilentSoundPlayer sound;
    RegistryStore registry;
    std::vector<FakeFolderWatcher*> watchers;
    std::unique_ptr<TFMain> main;
};

} // namespace ornel::test
