// The grid's rows straight from the application's Journal. Created by the controller next
// to the journal it wraps; UI thread only. Kept apart from FileListStore.h so that only
// the program that owns a journal links the journal library.
#pragma once

#include "ui/FileListStore.h"

namespace ornel
{

class JournalFileListStore final : public FileListStore
{
public:
    explicit JournalFileListStore(Journal& journal)
        : m_journal(journal)
    {}
    [[nodiscard]] std::vector<FileListRow> TodayRows() override { return m_journal.TodayRows(); }
    void UpdateRow(const FileListRow& row) override { m_journal.UpdateRow(row); }
    std::int64_t InsertRow(const FileListRow& row) override { return m_journal.InsertRow(row); }
    void DeleteRow(std::int64_t id) override { m_journal.DeleteRow(id); }

private:
    Journal& m_journal;
};

} // namespace ornel
