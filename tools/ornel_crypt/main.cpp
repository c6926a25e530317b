// The reference encryption program: encrypts (-T) or decrypts (-R) every file that matches
// the input mask into the output folder under the same name. A result appears complete or
// not at all, an input goes only after its result is in place, a file that cannot be
// decrypted is answered by an error report name + ".dat" and kept aside. Exit status 0
// when every file was processed.
#include "CryptCommandLine.h"
#include "FileCipher.h"
#include "platform/CodePage.h"
#include "platform/CommandLineArgs.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

using namespace ornel;
using namespace ornel::crypt;

constexpr const char* kRejectedFolder = "rejected";

std::string Now(const char* pattern)
{
    return FormatDateTime(pattern, ToDateTime(std::chrono::system_clock::now()));
}

// The -M log: one Windows-1251 line per file, appended; without -M the lines go to stdout.
class RunLog
{
public:
    explicit RunLog(const std::string& file)
    {
        if (!file.empty()) {
            m_file = OpenCFile(PathFromUtf8(file), "ab");
            if (m_file == nullptr) {
                std::fprintf(stderr, "ornel_crypt: cannot open the log %s\n", file.c_str());
            }
        }
    }
    ~RunLog()
    {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
    }
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    void Line(const std::string& text)
    {
        const std::string line = Now("dd/mm/yyyy hh:nn:ss") + " " + text;
        if (m_file == nullptr) {
            std::printf("%s\n", line.c_str());
        } else {
            const std::string bytes = Utf8ToCp1251Lossy(line) + "\r\n";
            std::fwrite(bytes.data(), 1, bytes.size(), m_file);
            std::fflush(m_file);
        }
    }

private:
    std::FILE* m_file = nullptr;
};

std::filesystem::path Join(const std::string& folder, const std::string& name)
{
    return PathFromUtf8(folder) / PathFromUtf8(name);
}

// Keeps an undecryptable file out of the input folder (so it is not handed over again and
// again) without losing it. Returns where it went, or the old path when it could not move.
std::string SetAside(const CryptOptions& options, const std::string& name)
{
    const auto source = Join(options.InputFolder, name);
    const auto folder = Join(options.InputFolder, kRejectedFolder);
    if (!FolderExists(folder) && !MakeFolder(folder)) {
        return PathToUtf8(source);
    }
    for (int i = 0; i < 1000; ++i) {
        const auto target = folder / PathFromUtf8(i == 0 ? name : name + "." + std::to_string(i));
        if (MoveFileNoReplace(source, target)) {
            return PathToUtf8(target);
        }
        if (!FileExists(target)) {
            break;
        }
    }
    return PathToUtf8(source);
}

bool WriteReport(const CryptOptions& options, const std::string& name, const std::string& reason,
                 const std::string& keptAt, std::string& reportName)
{
    const std::string text = "Ошибка расшифровки файла " + name + "\r\nПричина: " + reason +
                             "\r\nДата: " + Now("dd/mm/yyyy hh:nn:ss") +
                             "\r\nЗашифрованный файл сохранён: " + keptAt + "\r\n";
    const std::string bytes = Utf8ToCp1251Lossy(text);
    for (int i = 0; i < 1000; ++i) {
        reportName = i == 0 ? name + ".dat" : name + "." + std::to_string(i) + ".dat";
        if (FileExists(Join(options.OutputFolder, reportName))) {
            continue;
        }
        PartialFile out(PathFromUtf8(options.OutputFolder));
        out.Write(bytes.data(), bytes.size());
        if (out.Commit(Join(options.OutputFolder, reportName))) {
            return true;
        }
    }
    return false;
}

// Returns whether the file was processed: its result, or its error report, is in place. One
// whose result name is taken in the output folder is left where it is for a later run: the
// caller takes the file waiting there first, so that is no failure of this run either (and
// reporting it as one would hold up that very file).
bool ProcessOne(const CryptOptions& options, FileCipher& cipher, RunLog& log, const std::string& name)
{
    const auto source = Join(options.InputFolder, name);
    const auto target = Join(options.OutputFolder, name);
    if (FileExists(target)) {
        log.Line(name + ": в выходной папке уже есть файл с этим именем, файл оставлен");
        return true;
    }
    const bool encrypt = options.Direction == Mode::Encrypt;
    try {
        PartialFile out(PathFromUtf8(options.OutputFolder));
        try {
            if (encrypt) {
                cipher.Encrypt(source, out);
            } else {
                cipher.Decrypt(source, out);
            }
        } catch (const DecryptError& e) {
            const std::string keptAt = SetAside(options, name);
            std::string reportName;
            if (!WriteReport(options, name, e.what(), keptAt, reportName)) {
                log.Line(name + ": ошибка расшифровки (" + e.what() + "), отчёт не записан");
                return false;
            }
            // Answered: the report stands in the output folder for the caller to show.
            log.Line(name + ": ошибка расшифровки (" + e.what() + "), отчёт " + reportName);
            return true;
        }
        std::string error;
        if (!out.Commit(target, &error)) {
            log.Line(name + ": результат не записан: " + error);
            return false;
        }
    } catch (const std::exception& e) {
        log.Line(name + ": " + e.what());
        return false;
    }
    if (!DeleteFile(source)) {
        log.Line(name + ": " + (encrypt ? "зашифрован" : "расшифрован") + ", но не удалён из входной папки");
        return false;
    }
    log.Line(name + (encrypt ? ": зашифрован" : ": расшифрован"));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    UseUtf8Console();
    const std::vector<std::string> args = CommandLineArgs(argc, argv);
    std::string error;
    const auto options = ParseCommandLine(args, error);
    if (!options) {
        std::fprintf(stderr, "ornel_crypt: %s\n", error.c_str());
        std::fprintf(stderr, "usage: ornel_crypt -T|-R -I folder/*.* -O folder -W code -P pin [-PU pin] "
                             "[-E folder] [-M log]\n");
        return 2;
    }
    RunLog log(options->LogFile);
    if (!FolderExists(PathFromUtf8(options->OutputFolder))) {
        log.Line("Нет выходной папки " + options->OutputFolder);
        return 1;
    }
    try {
        FileCipher cipher(options->Code, options->Pin);
        bool allDone = true;
        for (const auto& file : ListFolderFiles(PathFromUtf8(options->InputFolder))) {
            if (MatchesMask(file.Name, options->InputMask)) {
                allDone = ProcessOne(*options, cipher, log, file.Name) && allDone;
            }
        }
        return allDone ? 0 : 1;
    } catch (const std::exception& e) {
        log.Line(e.what());
        return 1;
    }
}
