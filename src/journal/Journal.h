// The file journal: one SQLCipher file with the tables FileList and LOG, one FileList row
// per file name and day and one LOG row per reported step. Owned by the application
// (opened at start-up, closed at exit); UI thread only, but for a batch's commit, which
// its caller may run elsewhere.
#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ornel
{

class SqlConnection;
class SqlStatement;

enum class JournalEvent
{
    OutgoingFound = 0,
    ListedOnServer = 1,
    Encrypted = 2,
    Decrypted = 3,
    ArchivedPlain = 4,
    Uploaded = 5,
    Downloaded = 6,
    ArchivedEncrypted = 7,
};

struct FileListRow
{
    std::int64_t ID = 0;
    std::string FileName;
    std::string BackupPathCrypt;
    std::string BackupPath;
    double DateAdd = 0;
    std::string Direction;
    std::optional<bool> State; // empty when never set
};

class Journal
{
public:
    // The journal's file name beside the executable.
    static constexpr const char* kFileName = "ornel_ftp.db";
    // Field widths in characters; longer texts are cut when stored.
    static constexpr std::size_t kNameWidth = 255;
    static constexpr std::size_t kPathWidth = 255;
    static constexpr std::size_t kDirectionWidth = 3;

    // Does not open anything; `setTitle` is called around the compaction.
    Journal(const Clock& clock, std::function<void(const std::string&)> setTitle);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // The opening sequence: takes the file for this process alone, purges it (rows older than
    // one day, once more than 20 file rows are) and compacts it. Throws std::runtime_error with
    // the store's message; the journal then stays closed and every AddJournalRecord throws that
    // same message. While open, the write-ahead log "<file>-wal" lies beside the file; a
    // commit cut short by a crash is not seen at the next opening, and closing folds the log
    // into the file and removes it.
    void Open(const std::filesystem::path& file);
    void Close();
    [[nodiscard]] bool IsOpen() const;

    // The FileList change and its LOG row are stored together or not at all: each call is
    // one transaction, or, inside a batch, one step of the batch's transaction. The lookup
    // sees the rows of the current day (it follows midnight).
    void AddJournalRecord(const std::string& fileName, const std::string& path, JournalEvent event);
    // One ListedOnServer record per non-blank line of the listing, in order, all in one
    // transaction (or in the batch's).
    void AddJournalListing(const std::string& text);
    // One record per name, in order, all in one transaction (or in the batch's). A record
    // that fails ends the call; the ones before it are stored.
    void AddJournalRecords(const std::vector<std::string>& names, JournalEvent event);

    // A batch: the records from BeginBatch() to CommitBatch() are one transaction, stored
    // with one flush. A crash before the commit loses them all, so the caller commits before
    // anything irreversible that they describe. Changes of the status window's grid made
    // meanwhile join the batch. While the journal is closed these do nothing (the records
    // themselves throw). CommitBatch throws the store's message and then holds nothing;
    // RollbackBatch drops the batch's records.
    void BeginBatch();
    void CommitBatch();
    void RollbackBatch();
    [[nodiscard]] bool InBatch() const { return m_inBatch; }

    // Where a batch's commit, whose flush can wait long on a busy disk, runs: `aside` is
    // given the commit and runs it to its end (the tray application: on the FTP client's
    // thread during a cycle). The grid's row calls below wait for a commit under way. Unset,
    // the commit runs on the caller's thread.
    using Aside = std::function<void(const std::function<void()>& commit)>;
    void SetCommitAside(Aside aside) { m_commitAside = std::move(aside); }

    // Runs after each record has been committed, with the file's name, so that a view of
    // the rows can show it at once; for a batch, at its commit, once per record in order.
    void SetOnRecorded(std::function<void(const std::string& fileName)> onRecorded)
    {
        m_onRecorded = std::move(onRecorded);
    }

    // The status window's grid: today's FileList rows (none while closed), and single-row
    // changes (these throw while closed). UpdateRow writes every field of the row with that
    // ID; InsertRow ignores row.ID, takes "now" for a DateAdd of 0 and returns the new ID.
    [[nodiscard]] std::vector<FileListRow> TodayRows();
    void UpdateRow(const FileListRow& row);
    std::int64_t InsertRow(const FileListRow& row);
    void DeleteRow(std::int64_t id);

    // Creates a new journal file with both empty tables; refuses an existing file. The name
    // shows either nothing or the complete file.
    static void Create(const std::filesystem::path& file);

private:
    void Purge();
    void Compact(double limit);
    void CloseConnection();
    [[nodiscard]] SqlConnection& Connection();
    // A prepared statement kept for the connection's life, reset for its next use.
    [[nodiscard]] SqlStatement& Prepared(const char* sql);
    void Record(const std::string& fileName, const std::string& path, JournalEvent event, double now);
    // Runs one step of the open batch; a step that fails leaves the batch as it was before it.
    void BatchStep(std::function<void()> step);
    // A grid change: a step of the open batch, or on its own.
    void Change(std::function<void()> change);
    void ForgetBatch();
    void Recorded(const std::string& fileName);
    [[nodiscard]] double TodayStart() const;
    [[nodiscard]] std::optional<std::int64_t> FindToday(const std::string& name, double today);

    const Clock& m_clock;
    std::function<void(const std::string&)> m_setTitle;
    std::function<void(const std::string&)> m_onRecorded;
    Aside m_commitAside;
    std::filesystem::path m_file;
    std::unique_ptr<SqlConnection> m_db;
    std::map<const char*, std::unique_ptr<SqlStatement>> m_statements;
    std::string m_failure; // why the journal is closed, repeated by every later call
    bool m_inBatch = false;
    std::vector<std::string> m_batchNames;           // recorded in the open batch, told at its commit
    std::vector<std::function<void()>> m_batchSteps; // done in the open batch, in order
    std::string m_batchLost; // why the open batch lost its records after a failed step
    // The connection, between a commit run aside and the grid's row calls on the UI thread.
    std::mutex m_use;
};

} // namespace ornel
