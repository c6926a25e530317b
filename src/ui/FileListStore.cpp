#include "ui/FileListStore.h"

namespace ornel
{

JournalFileListStore::JournalFileListStore(Journal& journal)
    : m_journal(journal)
{}

std::vector<FileListRow> JournalFileListStore::TodayRows()
{
    return m_journal.TodayRows();
}

void JournalFileListStore::UpdateRow(const FileListRow& row)
{
    m_journal.UpdateRow(row);
}

std::int64_t JournalFileListStore::InsertRow(const FileListRow& row)
{
    return m_journal.InsertRow(row);
}

void JournalFileListStore::DeleteRow(std::int64_t id)
{
    m_journal.DeleteRow(id);
}

} // namespace ornel
