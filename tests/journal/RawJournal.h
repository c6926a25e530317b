// Direct SQL access to a journal file for checking what the journal stored. Never use it on
// a file that a Journal in this process holds open: closing a second handle on the same
// file drops that journal's lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

struct sqlite3;

namespace ornel::test
{

inline constexpr const char* kJournalPassword = "583920174";

class RawJournal
{
public:
    explicit RawJournal(const std::filesystem::path& file, const std::string& password = kJournalPassword);
    ~RawJournal();
    RawJournal(const RawJournal&) = delete;
    RawJournal& operator=(const RawJournal&) = delete;

    void Execute(const std::string& sql);
    [[nodiscard]] std::int64_t Integer(const std::string& sql);
    [[nodiscard]] std::string Text(const std::string& sql);

private:
    sqlite3* m_db = nullptr;
};

} // namespace ornel::test
