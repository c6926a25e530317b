#define SQLITE_HAS_CODEC 1
#include "journal/RawJournal.h"

#include "platform/PathText.h"

#include <sqlite3.h>
#include <stdexcept>

namespace ornel::test
{

RawJournal::RawJournal(const std::filesystem::path& file, const std::string& password)
{
    if (sqlite3_open_v2(PathToUtf8(file).c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        sqlite3_key(m_db, password.data(), static_cast<int>(password.size())) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(m_db);
        sqlite3_close(m_db);
        throw std::runtime_error(message);
    }
    Execute("PRAGMA journal_mode=MEMORY");
}

RawJournal::~RawJournal()
{
    sqlite3_close(m_db);
}

void RawJournal::Execute(const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "error";
        sqlite3_free(error);
        throw std::runtime_error(message + " in " + sql);
    }
}

std::int64_t RawJournal::Integer(const std::string& sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in " + sql);
    std::int64_t value = -1;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
}

std::string RawJournal::Text(const std::string& sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in " + sql);
    std::string value;
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0) != nullptr)
        value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    return value;
}

} // namespace ornel::test
