#include "journal/Journal.h"

#include "journal/JournalText.h"
#include "journal/SqlConnection.h"
#include "platform/CrashPoint.h"
#include "platform/FileBatch.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace ornel
{

namespace
{

// The file is encrypted under this fixed key; it keeps casual readers out, not the user.
constexpr const char* kPassword = "583920174";
constexpr const char* kCompactingTitle = "Сжатие локальной БД........";
constexpr const char* kApplicationTitle = "Ornel FTP";
// The purge and compaction only pay off once this many file rows are older than a day.
constexpr std::int64_t kPurgeThreshold = 20;

// Dates are REAL days since 1899-12-30, so day ranges compare as numbers.
constexpr const char* kSchema[] = {
    "CREATE TABLE FileList (ID INTEGER PRIMARY KEY AUTOINCREMENT, FileName VARCHAR(255), "
    "BackupPathCrypt VARCHAR(255), BackupPath VARCHAR(255), DateAdd REAL, Direction VARCHAR(3), "
    "State BOOLEAN)",
    "CREATE TABLE LOG (ID INTEGER PRIMARY KEY AUTOINCREMENT, FileID INTEGER, EventType INTEGER, "
    "EventTime REAL)",
    "CREATE INDEX FileListNameDay ON FileList (FileName, DateAdd)",
    "CREATE INDEX FileListDay ON FileList (DateAdd)",
};

std::string Label(const std::filesystem::path& file)
{
    return "Журнал \"" + PathToUtf8(file) + "\": ";
}

std::unique_ptr<SqlConnection> OpenExclusively(const std::filesystem::path& file)
{
    if (!FileExists(file))
        throw std::runtime_error(Label(file) + "файл не найден");
    auto db = std::make_unique<SqlConnection>(file, kPassword, SqlConnection::Access::OpenExisting);
    db->TakeExclusively(SqlConnection::Rollback::WriteAheadLog);
    // Both tables with every field the journal writes; a file of another layout fails here
    // rather than at the first file of an exchange.
    SqlStatement fileList(*db, "SELECT ID, FileName, BackupPathCrypt, BackupPath, DateAdd, Direction, State "
                               "FROM FileList LIMIT 0");
    SqlStatement log(*db, "SELECT ID, FileID, EventType, EventTime FROM LOG LIMIT 0");
    return db;
}

std::filesystem::path Folder(const std::filesystem::path& file)
{
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

// "<file>.tmp": where a compaction builds the new file.
std::filesystem::path CompactionCopy(const std::filesystem::path& file)
{
    std::filesystem::path copy = file;
    copy += ".tmp";
    return copy;
}

FileListRow ReadRow(const SqlStatement& query)
{
    FileListRow row;
    row.ID = query.Integer(0);
    row.FileName = query.Text(1);
    row.BackupPathCrypt = query.Text(2);
    row.BackupPath = query.Text(3);
    row.DateAdd = query.Real(4);
    row.Direction = query.Text(5);
    if (!query.IsNull(6))
        row.State = query.Integer(6) != 0;
    return row;
}

void BindRowFields(SqlStatement& statement, const FileListRow& row, double dateAdd)
{
    statement.Bind(1, CutToWidth(row.FileName, Journal::kNameWidth))
        .Bind(2, CutToWidth(row.BackupPathCrypt, Journal::kPathWidth))
        .Bind(3, CutToWidth(row.BackupPath, Journal::kPathWidth))
        .Bind(4, dateAdd)
        .Bind(5, CutToWidth(row.Direction, Journal::kDirectionWidth))
        .Bind(6, row.State);
}

} // namespace

Journal::Journal(const Clock& clock, std::function<void(const std::string&)> setTitle)
    : m_clock(clock)
    , m_setTitle(std::move(setTitle))
{}

Journal::~Journal() = default;

void Journal::Open(const std::filesystem::path& file)
{
    Close();
    m_file = file;
    m_failure.clear();
    try {
        m_db = OpenExclusively(file);
        // A copy left by a compaction that was cut short; the file itself is intact
        // because the copy only ever replaces it by a rename.
        (void)DeleteFile(CompactionCopy(file));
        Purge();
    } catch (const std::exception& e) {
        CloseConnection();
        m_failure = e.what();
        throw std::runtime_error(m_failure);
    }
}

void Journal::Close()
{
    CloseConnection();
}

void Journal::CloseConnection()
{
    // Statements first: a connection with statements still prepared does not close.
    m_statements.clear();
    m_db.reset();
    m_inBatch = false;
    ForgetBatch();
}

bool Journal::IsOpen() const
{
    return m_db != nullptr;
}

SqlConnection& Journal::Connection()
{
    if (!m_db)
        throw std::runtime_error(m_failure.empty() ? "Журнал не открыт" : m_failure);
    return *m_db;
}

double Journal::TodayStart() const
{
    return std::floor(m_clock.Now());
}

void Journal::Purge()
{
    const double limit = m_clock.Now() - 1.0;
    std::int64_t old = 0;
    {
        // Finalized before the compaction closes the connection, which it could not with a
        // statement still prepared.
        SqlStatement count(*m_db, "Select count(*) as C from FileList where DateAdd<=?");
        count.Bind(1, limit);
        old = count.Step() ? count.Integer(0) : 0;
    }
    if (old <= kPurgeThreshold)
        return;

    if (m_setTitle)
        m_setTitle(kCompactingTitle);
    try {
        Compact(limit);
    } catch (...) {
        if (m_setTitle)
            m_setTitle(kApplicationTitle);
        throw;
    }
    if (m_setTitle)
        m_setTitle(kApplicationTitle);
}

// The rows that survive the purge are copied into "<file>.tmp", which then replaces the
// file by a rename. The file itself is never written on the way, so a crash at any point
// leaves under its name either the old journal (with its log) or the complete compacted one
// (without a log).
void Journal::Compact(double limit)
{
    const std::filesystem::path tmp = CompactionCopy(m_file);
    bool attached = false;
    try {
        {
            SqlConnection copy(tmp, kPassword, SqlConnection::Access::CreateNew);
            copy.TakeExclusively(SqlConnection::Rollback::InMemory);
            SqlStatement schema(*m_db, "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL "
                                       "AND name NOT LIKE 'sqlite!_%' ESCAPE '!' ORDER BY rowid");
            SqlConnection::Transaction transaction(copy);
            while (schema.Step())
                copy.Execute(schema.Text(0));
            transaction.Commit();
        }

        {
            // Finalized at once: a statement left prepared keeps the connection from closing
            // below, and with it the old file open.
            SqlStatement attach(*m_db, "ATTACH DATABASE ? AS compact KEY ?");
            attach.Bind(1, PathToUtf8(tmp)).Bind(2, std::string_view(kPassword));
            attach.Run();
        }
        attached = true;
        m_db->Execute("PRAGMA compact.journal_mode=MEMORY");
        m_db->Execute("PRAGMA compact.synchronous=FULL");
        {
            SqlConnection::Transaction transaction(*m_db);
            SqlStatement files(*m_db, "INSERT INTO compact.FileList SELECT * FROM main.FileList "
                                      "WHERE DateAdd IS NULL OR DateAdd>?");
            files.Bind(1, limit).Run();
            SqlStatement events(*m_db, "INSERT INTO compact.LOG SELECT * FROM main.LOG "
                                       "WHERE EventTime IS NULL OR EventTime>?");
            events.Bind(1, limit).Run();
            // Keys are never reused, also after the newest rows were purged: an old LOG row
            // must not come to point at a new file.
            m_db->Execute("DELETE FROM compact.sqlite_sequence");
            m_db->Execute("INSERT INTO compact.sqlite_sequence SELECT * FROM main.sqlite_sequence");
            transaction.Commit();
        }
        m_db->Execute("DETACH DATABASE compact");
        attached = false;
        // The copy was made with the default permissions; it takes over the file's own, or
        // a journal shared by a group would lock the other members out after a compaction.
        if (std::string failure; !CopyPermissions(m_file, tmp, &failure))
            throw std::runtime_error(Label(m_file) +
                                     "права доступа не перенесены на сжатую копию: " + failure);
        // The old file's write-ahead log is folded into it and the file closed before the copy
        // takes its name: a log left beside the new file would be replayed into it at the
        // next opening, and Windows replaces no file that is open.
        m_db->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
        CloseConnection();
        std::filesystem::path wal = m_file;
        wal += "-wal";
        if (FileSize(wal).value_or(0) > 0)
            throw std::runtime_error(Label(m_file) + "журнал транзакций не перенесён в файл");
        std::string error;
        if (!ReplaceFileDurably(tmp, m_file, &error))
            throw std::runtime_error(Label(m_file) + "сжатая копия не заняла место файла: " + error);
    } catch (...) {
        if (attached) {
            try {
                m_db->Execute("DETACH DATABASE compact");
            } catch (const std::exception&) {
                // The error that ended the compaction is the one to report.
            }
        }
        (void)DeleteFile(tmp);
        throw;
    }
    m_db = OpenExclusively(m_file);
}

SqlStatement& Journal::Prepared(const char* sql)
{
    auto& statement = m_statements[sql];
    if (!statement)
        statement = std::make_unique<SqlStatement>(Connection(), sql);
    return *statement;
}

std::optional<std::int64_t> Journal::FindToday(const std::string& name, double today)
{
    SqlStatement& find = Prepared("SELECT ID FROM FileList WHERE FileName=? AND DateAdd>=? AND DateAdd<? "
                                  "ORDER BY ID LIMIT 1");
    find.Bind(1, name).Bind(2, today).Bind(3, today + 1.0);
    std::optional<std::int64_t> id;
    if (find.Step())
        id = find.Integer(0);
    find.Reset();
    return id;
}

namespace
{

const char* ChangeOf(JournalEvent event, bool& withPath)
{
    withPath = false;
    switch (event) {
    case JournalEvent::OutgoingFound:
        return "UPDATE FileList SET Direction='OUT' WHERE ID=?";
    case JournalEvent::ListedOnServer:
        return "UPDATE FileList SET Direction='IN', State=1 WHERE ID=?";
    case JournalEvent::ArchivedPlain:
        withPath = true;
        return "UPDATE FileList SET BackupPath=? WHERE ID=?";
    case JournalEvent::Uploaded:
        return "UPDATE FileList SET State=1 WHERE ID=?";
    case JournalEvent::ArchivedEncrypted:
        withPath = true;
        return "UPDATE FileList SET BackupPathCrypt=? WHERE ID=?";
    case JournalEvent::Encrypted:
    case JournalEvent::Decrypted:
    case JournalEvent::Downloaded:
        break;
    }
    return nullptr;
}

} // namespace

void Journal::Record(const std::string& fileName, const std::string& path, JournalEvent event, double now)
{
    SqlConnection& db = Connection();
    // Looked up by the stored (cut) form, so an over-long name finds its own row again.
    const std::string name = CutToWidth(fileName, kNameWidth);

    std::optional<std::int64_t> id = FindToday(name, std::floor(now));
    if (!id) {
        SqlStatement& insert = Prepared("INSERT INTO FileList (FileName, DateAdd) VALUES (?, ?)");
        insert.Bind(1, name).Bind(2, now).Run();
        id = db.LastInsertId();
    }
    bool withPath = false;
    if (const char* change = ChangeOf(event, withPath)) {
        SqlStatement& update = Prepared(change);
        if (withPath)
            update.Bind(1, CutToWidth(path, kPathWidth)).Bind(2, *id);
        else
            update.Bind(1, *id);
        update.Run();
    }
    SqlStatement& log = Prepared("INSERT INTO LOG (FileID, EventType, EventTime) VALUES (?, ?, ?)");
    log.Bind(1, *id).Bind(2, static_cast<std::int64_t>(event)).Bind(3, now).Run();
}

void Journal::Recorded(const std::string& fileName)
{
    if (m_inBatch)
        m_batchNames.push_back(fileName);
    else if (m_onRecorded)
        m_onRecorded(fileName);
}

void Journal::AddJournalRecord(const std::string& fileName, const std::string& path, JournalEvent event)
{
    const double now = m_clock.Now();
    if (m_inBatch) {
        BatchStep([this, fileName, path, event, now] { Record(fileName, path, event, now); });
    } else {
        SqlConnection::Transaction transaction(Connection());
        Record(fileName, path, event, now);
        transaction.Commit();
    }
    Recorded(fileName);
}

// A savepoint around each record would keep a record that fails half-way out of the batch,
// but costs several times the record itself (each page it touches is first copied aside,
// encrypted). Instead the batch keeps what it did: a step that fails undoes the whole
// transaction, which is then begun again and given the steps before it once more, in the
// same order and with the same times, so the same rows with the same keys come back.
void Journal::BatchStep(std::function<void()> step)
{
    SqlConnection& db = Connection();
    if (!m_batchLost.empty())
        throw std::runtime_error(m_batchLost);
    try {
        step();
    } catch (...) {
        // The store may have rolled the transaction back by itself already (a full disk).
        db.RollbackQuietly();
        try {
            db.Execute("BEGIN IMMEDIATE");
            for (const auto& done : m_batchSteps)
                done();
        } catch (const std::exception& e) {
            db.RollbackQuietly();
            m_batchLost = std::string("Записи пакета в журнале не восстановлены: ") + e.what();
        }
        throw;
    }
    m_batchSteps.push_back(std::move(step));
}

void Journal::AddJournalListing(const std::string& text)
{
    AddJournalRecords(ListingLines(text), JournalEvent::ListedOnServer);
}

void Journal::AddJournalRecords(const std::vector<std::string>& names, JournalEvent event)
{
    if (names.empty())
        return;
    const bool own = !m_inBatch;
    if (own)
        BeginBatch();
    try {
        for (const std::string& name : names)
            AddJournalRecord(name, std::string(), event);
    } catch (...) {
        // The records stored so far stay, as they would have one by one.
        if (own) {
            try {
                CommitBatch();
            } catch (const std::exception&) {
                // the record's own error is the one to report
            }
        }
        throw;
    }
    if (own)
        CommitBatch();
}

void Journal::BeginBatch()
{
    if (!m_db || m_inBatch)
        return;
    Connection().Execute("BEGIN IMMEDIATE");
    m_inBatch = true;
    ForgetBatch();
}

void Journal::ForgetBatch()
{
    m_batchNames.clear();
    m_batchSteps.clear();
    m_batchLost.clear();
}

void Journal::CommitBatch()
{
    if (!m_inBatch)
        return;
    m_inBatch = false;
    std::vector<std::string> names = std::exchange(m_batchNames, {});
    const std::string lost = std::exchange(m_batchLost, {});
    m_batchSteps.clear();
    // A batch whose records could not be given back after a failure holds nothing: what it
    // described must not be taken as journaled.
    if (!lost.empty())
        throw std::runtime_error(lost);
    const auto commit = [this] {
        const std::lock_guard use(m_use);
        CrashPoint("batch-committing");
        try {
            Connection().Execute("COMMIT");
        } catch (...) {
            // A commit that failed may leave the transaction open; nothing of it is kept.
            if (m_db)
                m_db->RollbackQuietly();
            throw;
        }
    };
    if (m_commitAside)
        m_commitAside(commit);
    else
        commit();
    if (m_onRecorded) {
        for (const std::string& name : names)
            m_onRecorded(name);
    }
}

void Journal::RollbackBatch()
{
    if (!m_inBatch)
        return;
    m_inBatch = false;
    ForgetBatch();
    if (m_db)
        m_db->RollbackQuietly();
}

std::vector<FileListRow> Journal::TodayRows()
{
    const std::lock_guard use(m_use);
    std::vector<FileListRow> rows;
    if (!m_db)
        return rows;
    const double today = TodayStart();
    SqlStatement query(*m_db, "SELECT ID, FileName, BackupPathCrypt, BackupPath, DateAdd, Direction, State "
                              "FROM FileList WHERE DateAdd>=? AND DateAdd<? ORDER BY ID");
    query.Bind(1, today).Bind(2, today + 1.0);
    while (query.Step())
        rows.push_back(ReadRow(query));
    return rows;
}

void Journal::Change(std::function<void()> change)
{
    // Inside a batch, a step of it like any record, done again if a later record fails.
    if (m_inBatch)
        BatchStep(std::move(change));
    else
        change();
}

void Journal::UpdateRow(const FileListRow& row)
{
    const std::lock_guard use(m_use);
    Change([this, row] {
        SqlConnection& db = Connection();
        SqlStatement update(db, "UPDATE FileList SET FileName=?, BackupPathCrypt=?, BackupPath=?, "
                                "DateAdd=?, Direction=?, State=? WHERE ID=?");
        BindRowFields(update, row, row.DateAdd);
        update.Bind(7, row.ID).Run();
        if (db.Changes() == 0)
            throw std::runtime_error(db.Message("запись " + std::to_string(row.ID) + " не найдена"));
    });
}

std::int64_t Journal::InsertRow(const FileListRow& row)
{
    const std::lock_guard use(m_use);
    const double dateAdd = row.DateAdd == 0 ? m_clock.Now() : row.DateAdd;
    Change([this, row, dateAdd] {
        SqlStatement insert(Connection(), "INSERT INTO FileList (FileName, BackupPathCrypt, BackupPath, "
                                          "DateAdd, Direction, State) VALUES (?, ?, ?, ?, ?, ?)");
        BindRowFields(insert, row, dateAdd);
        insert.Run();
    });
    return Connection().LastInsertId();
}

void Journal::DeleteRow(std::int64_t id)
{
    const std::lock_guard use(m_use);
    // The row's LOG events stay: events are purged by their own time.
    Change([this, id] {
        SqlStatement remove(Connection(), "DELETE FROM FileList WHERE ID=?");
        remove.Bind(1, id).Run();
    });
}

void Journal::Create(const std::filesystem::path& file)
{
    if (FileExists(file) || FolderExists(file))
        throw std::runtime_error(Label(file) + "файл уже существует");

    // Built under a hidden name beside the target and moved into place without replacing,
    // so the name shows either nothing or a complete journal, and a file that appeared in
    // the meantime is not overwritten.
    const std::filesystem::path building = PartialName(Folder(file));
    try {
        {
            SqlConnection db(building, kPassword, SqlConnection::Access::CreateNew);
            db.TakeExclusively(SqlConnection::Rollback::InMemory);
            // The journal is its owner's alone until the program's layout shares it.
            if (std::string error; !MakeOwnerOnly(building, &error))
                throw std::runtime_error(Label(file) + "файл не создан: " + error);
            SqlConnection::Transaction transaction(db);
            for (const char* statement : kSchema)
                db.Execute(statement);
            transaction.Commit();
        }
        if (!MakeDurable(building))
            throw std::runtime_error(Label(file) + "файл не записан");
        std::string error;
        if (!MoveFileNoReplace(building, file, &error)) {
            if (FileExists(file) || FolderExists(file))
                throw std::runtime_error(Label(file) + "файл уже существует");
            throw std::runtime_error(Label(file) + "файл не создан: " + error);
        }
    } catch (...) {
        (void)DeleteFile(building);
        throw;
    }
}

} // namespace ornel
