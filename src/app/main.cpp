#include "app/CommandLine.h"
#include "app/FrontEnds.h"
#include "app/Paths.h"
#include "platform/CommandLineArgs.h"

#include <cstdio>
#include <exception>
#include <stdexcept>

int main(int argc, char** argv)
{
    using namespace ornel;
    ApplyLayoutFileMask();
    UseUtf8Console();
    CommandLine line;
    try {
        line = ParseCommandLine(CommandLineArgs(argc, argv));
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "ornel_ftp: %s\n", e.what());
        return 2;
    }
    try {
        switch (line.Mode) {
        case RunMode::Help:
            std::fputs(UsageText(TrayModeText()).c_str(), stdout);
            return 0;
        case RunMode::Version:
            std::printf("ornel_ftp %s\n", ORNEL_VERSION);
            return 0;
        case RunMode::InitJournal:
            return RunInitJournal(line);
        case RunMode::ImportReg:
            return RunImportReg(line);
        case RunMode::ExportReg:
            return RunExportReg(line);
        case RunMode::CycleSendReceive:
        case RunMode::CycleReceiveSend:
            return RunConsoleCycle(line);
        case RunMode::Service:
            return RunService(line);
        case RunMode::Tray:
            return RunTray(line, argc, argv);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ornel_ftp: %s\n", e.what());
        return 1;
    }
    return 1;
}
