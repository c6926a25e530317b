// The incoming transfer: downloads every file of the server directory FtpOut into TempReciv,
// archives it and deletes it on the server. Owned by ExchangeCycle; runs on the UI thread on
// a connection the cycle has opened.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ornel
{

class Counters;
class ExchangeBatch;
class FileMoves;
class FolderLayout;
class Notifications;
struct EngineContext;
struct TransferState;

class Incoming
{
public:
    Incoming(EngineContext& ctx, FolderLayout& layout, FileMoves& moves, Counters& counters,
             Notifications& notifications, TransferState& state);

    // Returns the number of files downloaded, archived and deleted on the server. Folders are
    // skipped, and a file the server refuses for good (5xx) is logged and stays there while
    // the others come; any other failed download is logged and thrown on, and the server
    // keeps that file and the ones after it. Works in batches: the files of a batch are
    // deleted on the server once their downloads and archive copies are on the disk under
    // their names and their journal records committed.
    int ReceiveFiles();

    // Lines of a detailed listing that describe regular files (first character "-").
    [[nodiscard]] static int CountListedFiles(const std::vector<std::string>& lines);

    // Whether a name taken from the server's listing may become a local file name in
    // TempReciv: not empty, not "." or "..", no path delimiter of either system, no NUL, and
    // a name this system keeps as it is (on Windows: no device, no character it refuses).
    [[nodiscard]] static bool IsSafeListedName(const std::string& name);

private:
    int ReceiveListed();
    // False when the server refused this one file for good, or when it stays there for a
    // different file of its name waiting in TempReciv.
    bool ReceiveOne(const std::string& listed, ExchangeBatch& batch);
    // The server keeps `name`: `local` holds an earlier download still waiting for decryption.
    void LeaveForWaitingFile(const std::string& name, const std::filesystem::path& local);
    // SIZE of the name as listed, or of `trimmed` (which then becomes `remote`) when the
    // server refuses the listed one for good; -1 when unknown.
    std::int64_t AnnouncedSize(std::string& remote, const std::string& trimmed);
    // RETR into `written` (a hidden name) for `local`; a permanent refusal of a padded name
    // is retried trimmed, and `remote` and `local` then name the trimmed file.
    void Download(std::string& remote, const std::string& trimmed, std::filesystem::path& local,
                  const std::filesystem::path& written);
    void ListOrLog(std::vector<std::string>& lines, bool details);
    void LogError(const std::string& message);

    EngineContext& m_ctx;
    FolderLayout& m_layout;
    FileMoves& m_moves;
    Counters& m_counters;
    Notifications& m_notifications;
    TransferState& m_state;
};

} // namespace ornel
