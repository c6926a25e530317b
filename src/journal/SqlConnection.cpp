#define SQLITE_HAS_CODEC 1
#include "journal/SqlConnection.h"

#include "platform/PathText.h"

#include <sqlite3.h>
#include <stdexcept>

namespace ornel
{

SqlStatement::SqlStatement(SqlConnection& db, std::string_view sql)
    : m_db(db)
{
    const int rc =
        sqlite3_prepare_v2(db.Handle(), sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        db.Fail(rc);
    }
}

SqlStatement::~SqlStatement()
{
    sqlite3_finalize(m_stmt);
}

SqlStatement& SqlStatement::Bind(int index, std::string_view text)
{
    const int rc = text.empty() ? sqlite3_bind_null(m_stmt, index)
                                : sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()),
                                                    SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        m_db.Fail(rc);
    return *this;
}

SqlStatement& SqlStatement::Bind(int index, double value)
{
    if (const int rc = sqlite3_bind_double(m_stmt, index, value); rc != SQLITE_OK)
        m_db.Fail(rc);
    return *this;
}

SqlStatement& SqlStatement::Bind(int index, std::int64_t value)
{
    if (const int rc = sqlite3_bind_int64(m_stmt, index, value); rc != SQLITE_OK)
        m_db.Fail(rc);
    return *this;
}

SqlStatement& SqlStatement::Bind(int index, std::optional<bool> value)
{
    const int rc = value ? sqlite3_bind_int(m_stmt, index, *value ? 1 : 0) : sqlite3_bind_null(m_stmt, index);
    if (rc != SQLITE_OK)
        m_db.Fail(rc);
    return *this;
}

bool SqlStatement::Step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(m_stmt);
    m_db.Fail(rc);
}

void SqlStatement::Run()
{
    while (Step()) {
    }
    Reset();
}

void SqlStatement::Reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

bool SqlStatement::IsNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::string SqlStatement::Text(int column) const
{
    const auto* text = sqlite3_column_text(m_stmt, column);
    if (text == nullptr)
        return {};
    return {reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column))};
}

double SqlStatement::Real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

std::int64_t SqlStatement::Integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

SqlConnection::SqlConnection(const std::filesystem::path& file, const std::string& password, Access access)
    : m_label("Журнал \"" + PathToUtf8(file) + "\": ")
{
    const int flags = SQLITE_OPEN_READWRITE | (access == Access::CreateNew ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(PathToUtf8(file).c_str(), &m_db, flags, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_key(m_db, password.data(), static_cast<int>(password.size()));
    if (rc != SQLITE_OK) {
        const std::string text = Message(m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
        sqlite3_close(m_db);
        throw std::runtime_error(text);
    }
    // A busy handler would make a second instance wait instead of failing at once.
    sqlite3_busy_timeout(m_db, 0);
}

SqlConnection::~SqlConnection()
{
    sqlite3_close(m_db);
}

void SqlConnection::TakeExclusively(Rollback rollback)
{
    // The locking mode comes first: a write-ahead log first opened in exclusive mode keeps
    // its index in memory instead of a shared "-shm" file beside the journal.
    Execute("PRAGMA locking_mode=EXCLUSIVE");
    // The first read checks the key: a wrong password surfaces here as "file is encrypted
    // or is not a database", a file that another process holds as "database is locked".
    Execute("SELECT count(*) FROM sqlite_master");
    Execute("PRAGMA temp_store=MEMORY");
    Execute(rollback == Rollback::WriteAheadLog ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=MEMORY");
    // Every commit reaches the disk before it returns; with the log that is one flush.
    Execute("PRAGMA synchronous=FULL");
    // The exclusive locking mode only takes the lock at the first write transaction and
    // then keeps it until the connection closes.
    Execute("BEGIN EXCLUSIVE");
    Execute("COMMIT");
}

void SqlConnection::Execute(std::string_view sql)
{
    SqlStatement statement(*this, sql);
    statement.Run();
}

void SqlConnection::RollbackQuietly()
{
    if (sqlite3_get_autocommit(m_db) == 0)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::int64_t SqlConnection::LastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

int SqlConnection::Changes() const
{
    return sqlite3_changes(m_db);
}

void SqlConnection::Fail(int code) const
{
    const char* text = sqlite3_errmsg(m_db);
    throw std::runtime_error(Message(text != nullptr && *text != '\0' ? text : sqlite3_errstr(code)));
}

std::string SqlConnection::Message(const std::string& text) const
{
    return m_label + text;
}

SqlConnection::Transaction::Transaction(SqlConnection& db)
    : m_db(db)
{
    m_db.Execute("BEGIN IMMEDIATE");
}

SqlConnection::Transaction::~Transaction()
{
    if (!m_done) {
        // Called while an error is already on its way up; a failing rollback must not
        // replace that error.
        m_db.RollbackQuietly();
    }
}

void SqlConnection::Transaction::Commit()
{
    m_db.Execute("COMMIT");
    m_done = true;
}

} // namespace ornel
