// A keyed SQLCipher connection with prepared statements and transactions; errors become
// std::runtime_error carrying the store's own text. Owned by Journal; UI thread only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace ornel
{

class SqlConnection;

// One prepared statement; parameters are numbered from 1, columns from 0.
class SqlStatement
{
public:
    SqlStatement(SqlConnection& db, std::string_view sql);
    ~SqlStatement();
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    // Empty texts and empty optionals are stored as NULL.
    SqlStatement& Bind(int index, std::string_view text);
    SqlStatement& Bind(int index, double value);
    SqlStatement& Bind(int index, std::int64_t value);
    SqlStatement& Bind(int index, std::optional<bool> value);

    // True while a result row is available.
    [[nodiscard]] bool Step();
    // Runs to completion and resets, ready for the next binding.
    void Run();
    void Reset();

    [[nodiscard]] bool IsNull(int column) const;
    [[nodiscard]] std::string Text(int column) const;
    [[nodiscard]] double Real(int column) const;
    [[nodiscard]] std::int64_t Integer(int column) const;

private:
    SqlConnection& m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

class SqlConnection
{
public:
    enum class Access
    {
        OpenExisting,
        CreateNew,
    };

    // Opens and keys the file; every error message names it.
    SqlConnection(const std::filesystem::path& file, const std::string& password, Access access);
    ~SqlConnection();
    SqlConnection(const SqlConnection&) = delete;
    SqlConnection& operator=(const SqlConnection&) = delete;

    enum class Rollback
    {
        // A write-ahead log "<file>-wal" beside the file while the connection is open: a
        // commit is one append and one flush of the log, and a commit cut short by a crash
        // is not seen at the next opening. Closing folds the log into the file and removes
        // it.
        WriteAheadLog,
        // Nothing beside the file, but a crash during a commit can leave it half written;
        // only for copies that are thrown away when they are not complete.
        InMemory,
    };

    // Takes the file for this process alone until the connection closes; temporary tables
    // stay in memory, and so does the write-ahead log's index (no "-shm" file). A wrong
    // password and a file held elsewhere are both reported here.
    void TakeExclusively(Rollback rollback);

    void Execute(std::string_view sql);
    // Rolls back the open transaction, if any; for error paths, so a failure here is not
    // reported (SQLite has rolled back by itself when the failed statement ended it).
    void RollbackQuietly();
    [[nodiscard]] std::int64_t LastInsertId() const;
    [[nodiscard]] int Changes() const;

    // Throws the store's message for `code`, prefixed with the journal's name.
    [[noreturn]] void Fail(int code) const;
    [[nodiscard]] std::string Message(const std::string& text) const;

    [[nodiscard]] sqlite3* Handle() const { return m_db; }

    // Commits at Commit(); rolls back when left any other way.
    class Transaction
    {
    public:
        explicit Transaction(SqlConnection& db);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit();

    private:
        SqlConnection& m_db;
        bool m_done = false;
    };

private:
    std::string m_label;
    sqlite3* m_db = nullptr;
};

} // namespace ornel
