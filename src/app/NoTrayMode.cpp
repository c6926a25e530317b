// The tray application's place in a build without the Qt desktop (the Windows build, where
// no Qt for Windows is at hand): it says so and ends, and points to the headless modes.
#include "app/FrontEnds.h"

#include <cstdio>

namespace ornel
{

int RunTray(const CommandLine&, int, char**)
{
    std::fputs("ornel_ftp: В этой сборке нет приложения в области уведомлений. Обмен выполняют режимы "
               "--service и --cycle send-receive (список режимов: ornel_ftp --help).\n",
               stderr);
    return 1;
}

const char* TrayModeText()
{
    return "This build has no tray application; started without options it says so and exits 1.";
}

} // namespace ornel
