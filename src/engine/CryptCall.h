// Runs the external encryption program over a whole folder (or, with NotUseCrypt, moves
// the files unchanged) and reports what stands in the output folder afterwards. Owned by
// TFMain; UI thread only, serving events while the program runs.
#pragma once

#include "engine/TransferDirection.h"

#include <string>

namespace ornel
{

class FileMoves;
class Notifications;
struct EngineContext;

class CryptCall
{
public:
    CryptCall(EngineContext& ctx, FileMoves& moves, Notifications& notifications);

    // Encrypts (Outgoing) or decrypts (Incoming) every file of `inputFolder` into
    // `outputFolder`; every file found in the output folder is journaled, logged " Ok!" and,
    // when decrypting, checked for the error-report extension ERRExt.
    void ProcessCrypt(TransferDirection direction, const std::string& inputFolder,
                      const std::string& outputFolder);

    // Starts the program and waits for it while serving events; returns its exit code, or
    // -1 when it was not started. Returns early (with -1) when the event loop shuts down.
    int RunAndWait(const std::string& program, const std::string& parameters,
                   const std::string& workingFolder, int windowType);

    // The command lines given to the program.
    [[nodiscard]] std::string EncryptParameters(const std::string& inputFolder,
                                                const std::string& outputFolder) const;
    [[nodiscard]] std::string DecryptParameters(const std::string& inputFolder,
                                                const std::string& outputFolder) const;
    // Program folder (ending in "/") + "/" + yyyymmdd + ".log".
    [[nodiscard]] std::string DecryptLogPath() const;

    // The folder part of a path with its trailing delimiter, empty when it has none.
    [[nodiscard]] static std::string FolderPart(const std::string& path);
    // Extension of the name from its last "." (empty without a dot) equal to `errExt`,
    // letter case counting.
    [[nodiscard]] static bool IsErrorReport(const std::string& name, const std::string& errExt);

private:
    void MoveUnencrypted(TransferDirection direction, const std::string& inputFolder,
                         const std::string& outputFolder);
    void ReportOutput(TransferDirection direction, const std::string& outputFolder, const std::string& name);

    EngineContext& m_ctx;
    FileMoves& m_moves;
    Notifications& m_notifications;
};

} // namespace ornel
