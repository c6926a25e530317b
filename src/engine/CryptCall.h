// Runs the external encryption program over a whole folder (or, with NotUseCrypt, moves
// the files unchanged) and reports what stands in the output folder afterwards. Owned by
// TFMain; UI thread only, serving events while the program runs.
#pragma once

#include "engine/TransferDirection.h"
#include "platform/Process.h"

#include <chrono>
#include <string>

namespace ornel
{

class FileMoves;
class Notifications;
struct EngineContext;

// What became of one run of the program.
struct ProgramRun
{
    enum class Outcome
    {
        Ended,      // ExitCode (and Signal, when a signal ended it) hold how
        NotStarted, // Failure holds why
        TimedOut,   // still running at the bound: stopped with its process group
        Abandoned,  // the application is ending; the program was left running
    };
    Outcome How = Outcome::NotStarted;
    int ExitCode = -1;
    int Signal = 0;
    StartFailure Failure;
};

class CryptCall
{
public:
    CryptCall(EngineContext& ctx, FileMoves& moves, Notifications& notifications);

    // Encrypts (Outgoing) or decrypts (Incoming) every file of `inputFolder` into
    // `outputFolder`; every file found in the output folder is journaled, logged " Ok!" and,
    // when decrypting, checked for the error-report extension ERRExt. A program that cannot
    // be started, fails (a signal or a non-zero exit code) or outlives CryptTimeout throws
    // std::runtime_error naming it and what happened; the output folder is then left for
    // the next run and the files not yet processed stay in the input folder.
    void ProcessCrypt(TransferDirection direction, const std::string& inputFolder,
                      const std::string& outputFolder);

    // Starts the program and waits for it while serving events, at most `bound`; a program
    // still running then is stopped together with its process group. Returns early (the
    // program left running) when the event loop shuts down.
    ProgramRun RunAndWait(const std::string& program, const std::string& parameters,
                          const std::string& workingFolder, int windowType, std::chrono::milliseconds bound);

    // CryptTimeout counts in this unit: a minute, shorter in tests.
    void SetTimeoutUnit(std::chrono::milliseconds unit) { m_timeoutUnit = unit; }

    // The command lines given to the program.
    [[nodiscard]] std::string EncryptParameters(const std::string& inputFolder,
                                                const std::string& outputFolder) const;
    [[nodiscard]] std::string DecryptParameters(const std::string& inputFolder,
                                                const std::string& outputFolder) const;
    // Program folder (ending in "/") + "/" + yyyymmdd + ".log".
    [[nodiscard]] std::string DecryptLogPath() const;

    // The folder part of a path with its trailing delimiter ("\\" or "/"), empty when it has
    // none.
    [[nodiscard]] static std::string FolderPart(const std::string& path);
    // Extension of the name from its last "." (empty without a dot) equal to `errExt`,
    // letter case counting.
    [[nodiscard]] static bool IsErrorReport(const std::string& name, const std::string& errExt);

private:
    // CryptTimeout, or its default when the store holds no positive number of minutes.
    [[nodiscard]] int TimeoutMinutes() const;
    // Throws the error that tells what went wrong with the run, if anything did.
    void CheckRun(const ProgramRun& run) const;
    void MoveUnencrypted(TransferDirection direction, const std::string& inputFolder,
                         const std::string& outputFolder);
    void ReportOutput(TransferDirection direction, const std::string& outputFolder, const std::string& name);

    EngineContext& m_ctx;
    FileMoves& m_moves;
    Notifications& m_notifications;
    std::chrono::milliseconds m_timeoutUnit = std::chrono::minutes(1);
};

} // namespace ornel
