#include "engine/CryptCall.h"

#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "engine/ExchangeBatch.h"
#include "engine/FileMoves.h"
#include "engine/FolderLayout.h"
#include "engine/Notifications.h"
#include "journal/Journal.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"
#include "platform/Process.h"
#include "settings/RuntimeSettings.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace ornel
{

namespace
{

// How often the wait for the program looks at its state while no event arrives.
constexpr std::chrono::milliseconds kPollInterval{50};
// How long a program past its bound has to end by itself once asked to.
constexpr std::chrono::seconds kStopGrace{5};

bool IsBlank(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

} // namespace

CryptCall::CryptCall(EngineContext& ctx, FileMoves& moves, Notifications& notifications)
    : m_ctx(ctx)
    , m_moves(moves)
    , m_notifications(notifications)
{}

std::string CryptCall::FolderPart(const std::string& path)
{
    const auto pos = LastPathDelim(path);
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

bool CryptCall::IsErrorReport(const std::string& name, const std::string& errExt)
{
    const auto pos = name.rfind('.');
    const std::string ext = pos == std::string::npos ? std::string() : name.substr(pos);
    return ext == errExt;
}

std::string CryptCall::EncryptParameters(const std::string& inputFolder,
                                         const std::string& outputFolder) const
{
    const RuntimeSettings& s = m_ctx.settings;
    return "-T -I " + inputFolder + kPathDelim + "*.* -O " + outputFolder + " -W " + s.KodSend + " -P " +
           s.PIN + " -PU " + s.UPIN;
}

std::string CryptCall::DecryptParameters(const std::string& inputFolder,
                                         const std::string& outputFolder) const
{
    const RuntimeSettings& s = m_ctx.settings;
    return "-R -I " + inputFolder + kPathDelim + "*.* -O " + outputFolder + " -W " + s.KodSend + " -P " +
           s.PIN + " -E " + s.PostBoxOut + " -M " + DecryptLogPath();
}

std::string CryptCall::DecryptLogPath() const
{
    return FolderPart(m_ctx.settings.CryptProgNew) + kPathDelim +
           FormatDateTime("yyyymmdd", m_ctx.clock.Now()) + ".log";
}

void CryptCall::ProcessCrypt(TransferDirection direction, const std::string& inputFolder,
                             const std::string& outputFolder)
{
    if (m_ctx.settings.NotUseCrypt) {
        MoveUnencrypted(direction, inputFolder, outputFolder);
        return;
    }
    const bool encrypt = direction == TransferDirection::Outgoing;
    const std::string parameters =
        encrypt ? EncryptParameters(inputFolder, outputFolder) : DecryptParameters(inputFolder, outputFolder);
    m_ctx.log.AddLog(encrypt ? "Шифрование найденных файлов" : "Расшифровка принятых файлов");
    const std::string& program = m_ctx.settings.CryptProgNew;
    CheckRun(RunAndWait(program, parameters, FolderPart(program), m_ctx.settings.WindowType,
                        m_timeoutUnit * TimeoutMinutes()));
    // A run that ended well is judged by what stands in the output folder, files left
    // there by an earlier cycle included.
    if (IsBlank(outputFolder)) {
        return;
    }
    const std::string output = FolderLayout::WithoutTrailingDelim(outputFolder);
    // The report's journal records are committed in batches.
    ExchangeBatch batch(m_ctx);
    try {
        for (const auto& entry : ListFolder(PathFromUtf8(output))) {
            if (batch.Full()) {
                batch.Restart();
            }
            if (!entry.Directory) {
                batch.AddWork(0);
                ReportOutput(direction, output, entry.Name);
            }
            m_ctx.loop.ProcessPendingEvents();
        }
    } catch (...) {
        batch.FinishAfterError();
        throw;
    }
    batch.Finish();
}

int CryptCall::TimeoutMinutes() const
{
    // A bound of no time at all would stop every run at once.
    return m_ctx.settings.CryptTimeout > 0 ? m_ctx.settings.CryptTimeout : RuntimeSettings{}.CryptTimeout;
}

void CryptCall::CheckRun(const ProgramRun& run) const
{
    const std::string& program = m_ctx.settings.CryptProgNew;
    const std::string named = "Программа шифрования " + program;
    switch (run.How) {
    case ProgramRun::Outcome::Ended:
        if (run.Signal != 0) {
            throw std::runtime_error(named + " завершилась аварийно (сигнал " + std::to_string(run.Signal) +
                                     ")");
        }
        if (run.ExitCode != 0) {
            throw std::runtime_error(named + " завершилась с кодом " + std::to_string(run.ExitCode));
        }
        return;
    case ProgramRun::Outcome::NotStarted:
        if (IsBlank(program)) {
            throw std::runtime_error("Программа шифрования не указана (CryptProgNew)");
        }
        switch (run.Failure.What) {
        case StartFailure::Kind::Missing:
            throw std::runtime_error(named + " не найдена");
        case StartFailure::Kind::NotExecutable:
            throw std::runtime_error(named +
                                     " не запускается: это не исполняемый файл или нет права на запуск");
        case StartFailure::Kind::Refused:
            break;
        }
        throw std::runtime_error(named + " не запущена: " + run.Failure.Detail);
    case ProgramRun::Outcome::TimedOut:
        throw std::runtime_error(named + " не завершилась за " + std::to_string(TimeoutMinutes()) +
                                 " мин. и остановлена");
    case ProgramRun::Outcome::Abandoned:
        return; // the application ends; what the program finished so far is reported
    }
}

void CryptCall::MoveUnencrypted(TransferDirection direction, const std::string& inputFolder,
                                const std::string& outputFolder)
{
    m_ctx.log.AddLog("Перемещение найденых файлов без шифрования");
    if (IsBlank(inputFolder) || IsBlank(outputFolder)) {
        return;
    }
    const std::string input = FolderLayout::WithoutTrailingDelim(inputFolder);
    const std::string output = FolderLayout::WithoutTrailingDelim(outputFolder);
    // In batches: the folders are flushed and the journal committed once per batch.
    ExchangeBatch batch(m_ctx);
    try {
        for (const auto& file : ListFolderFiles(PathFromUtf8(input))) {
            if (batch.Full()) {
                batch.Restart();
            }
            const std::filesystem::path from = PathFromUtf8(input + kPathDelim + file.Name);
            std::optional<FileBatch::Item> copy;
            // A file of that name already waiting in the output folder is never replaced;
            // this one stays in the input folder for a later run.
            switch (batch.StageMove(from, PathFromUtf8(output + kPathDelim + file.Name), copy)) {
            case FileBatch::Moved::Failed:
                continue;
            case FileBatch::Moved::Copied:
                batch.DeleteAfterCommit(from, {*copy});
                break;
            case FileBatch::Moved::Renamed:
                break;
            }
            batch.AddWork(file.Size);
            ReportOutput(direction, output, file.Name);
        }
    } catch (...) {
        batch.FinishAfterError();
        throw;
    }
    batch.Finish();
}

void CryptCall::ReportOutput(TransferDirection direction, const std::string& outputFolder,
                             const std::string& name)
{
    const bool encrypt = direction == TransferDirection::Outgoing;
    m_ctx.journal.AddJournalRecord(name, "", encrypt ? JournalEvent::Encrypted : JournalEvent::Decrypted);
    m_ctx.log.AddLog(name + " Ok!");
    if (!encrypt && IsErrorReport(name, m_ctx.settings.ERRExt)) {
        m_notifications.ShowErrorFile(outputFolder + kPathDelim + name);
    }
}

ProgramRun CryptCall::RunAndWait(const std::string& program, const std::string& parameters,
                                 const std::string& workingFolder, int windowType,
                                 std::chrono::milliseconds bound)
{
    ProgramRun run;
    auto process = Process::Start(program, Process::SplitParameters(parameters), workingFolder, &run.Failure,
                                  WindowShowOfType(windowType));
    if (!process) {
        return run;
    }
    // Measured on the steady clock: a change of the wall clock neither stops the program
    // early nor lets it run for ever.
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        m_ctx.loop.ProcessPendingEvents();
        if (const auto code = process->TryWait()) {
            run.How = ProgramRun::Outcome::Ended;
            run.ExitCode = *code;
            run.Signal = process->EndingSignal();
            return run;
        }
        if (m_ctx.loop.ShuttingDown()) {
            run.How = ProgramRun::Outcome::Abandoned;
            return run;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            (void)process->StopGroup(kStopGrace);
            run.How = ProgramRun::Outcome::TimedOut;
            return run;
        }
        m_ctx.loop.WaitForEvents(kPollInterval);
    }
}

} // namespace ornel
