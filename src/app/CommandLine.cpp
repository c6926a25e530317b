#include "app/CommandLine.h"

#include "app/Paths.h"
#include "platform/PathText.h"
#include "platform/StopRequest.h"

#include <stdexcept>

namespace ornel
{

namespace
{

void SetMode(CommandLine& line, RunMode mode, const std::string& option)
{
    if (line.Mode != RunMode::Tray) {
        throw std::invalid_argument(
            "Only one of --cycle, --service, --init-journal, --import-reg, --export-reg, "
            "--help and --version may be given (" +
            option + ")");
    }
    line.Mode = mode;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                throw std::invalid_argument(a + " needs " + what);
            }
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            SetMode(line, RunMode::Help, a);
        } else if (a == "--version") {
            SetMode(line, RunMode::Version, a);
        } else if (a == "--cycle") {
            const std::string order = value("send-receive or receive-send");
            if (order == "send-receive") {
                SetMode(line, RunMode::CycleSendReceive, a);
            } else if (order == "receive-send") {
                SetMode(line, RunMode::CycleReceiveSend, a);
            } else {
                throw std::invalid_argument("--cycle takes send-receive or receive-send, not '" + order +
                                            "'");
            }
        } else if (a == "--service") {
            SetMode(line, RunMode::Service, a);
        } else if (a == "--init-journal") {
            SetMode(line, RunMode::InitJournal, a);
            // The file is optional here: without it the journal beside the executable is made.
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
                line.File = PathFromUtf8(args[++i]);
            }
        } else if (a == "--import-reg") {
            SetMode(line, RunMode::ImportReg, a);
            line.File = PathFromUtf8(value("a file"));
        } else if (a == "--export-reg") {
            SetMode(line, RunMode::ExportReg, a);
            line.File = PathFromUtf8(value("a file"));
        } else if (a == "--registry-dir") {
            line.RegistryDir = value("a folder");
        } else if (a == "--journal") {
            line.Journal = PathFromUtf8(value("a file"));
        } else {
            throw std::invalid_argument("Unknown option '" + a + "' (see --help)");
        }
    }
    return line;
}

std::string UsageText(const char* withoutOptions)
{
    std::string text = "Usage: ornel_ftp [options]\n"
                       "\n";
    text += withoutOptions;
    text += "\n"
            "\n"
            "  --cycle send-receive   run one exchange cycle, outgoing half first, and exit\n"
            "  --cycle receive-send   run one exchange cycle, incoming half first, and exit\n"
            "                         (log lines also on stdout; exit status 0 unless the\n"
            "                         cycle logged an error)\n"
            "  --service              monitoring and schedule without a desktop, until\n"
            "                         ";
    text += StopRequestText();
    text += "\n"
            "  --init-journal [FILE]  create the journal file with its empty tables\n"
            "  --import-reg FILE      read settings from a .reg text file into the store\n"
            "  --export-reg FILE      write the settings and counters as a .reg text file\n"
            "  --registry-dir DIR     folder of the settings store (else $ORNEL_FTP_REGISTRY_DIR,\n"
            "                         else ";
    text += DefaultStoreText();
    text += ")\n"
            "  --journal FILE         journal file (else ";
    text += PathToUtf8(DefaultJournalFile());
    text += ")\n"
            "  --version              print the version and exit\n"
            "  --help                 print this text and exit\n"
            "\n"
            "The daily log Log<yyyymmdd>.txt is written in ";
    text += DefaultLogText();
    text += ".\n";
    return text;
}

} // namespace ornel
