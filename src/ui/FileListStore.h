// What the status window's grid needs of the journal: today's FileList rows and single-row
// changes. The application passes a JournalFileListStore over its Journal; tests pass
// their own. UI thread only.
#pragma once

#include "journal/Journal.h"

#include <cstdint>
#include <vector>

namespace ornel
{

class FileListStore
{
public:
    virtual ~FileListStore() = default;
    // Each may throw std::runtime_error with the store's message.
    [[nodiscard]] virtual std::vector<FileListRow> TodayRows() = 0;
    virtual void UpdateRow(const FileListRow& row) = 0;
    virtual std::int64_t InsertRow(const FileListRow& row) = 0;
    virtual void DeleteRow(std::int64_t id) = 0;
};

// The grid's rows straight from the application's Journal, which must outlive it.
class JournalFileListStore final : public FileListStore
{
public:
    explicit JournalFileListStore(Journal& journal);
    [[nodiscard]] std::vector<FileListRow> TodayRows() override;
    void UpdateRow(const FileListRow& row) override;
    std::int64_t InsertRow(const FileListRow& row) override;
    void DeleteRow(std::int64_t id) override;

private:
    Journal& m_journal;
};

} // namespace ornel
