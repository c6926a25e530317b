#include "engine/Outgoing.h"

#include "engine/Counters.h"
#include "engine/Desktop.h"
#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "engine/ExchangeBatch.h"
#include "engine/FileMoves.h"
#include "engine/FolderLayout.h"
#include "engine/ServerListing.h"
#include "engine/TransferDirection.h"
#include "engine/TransferState.h"
#include "ftp/FtpClient.h"
#include "journal/Journal.h"
#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "platform/OpenFileProbe.h"
#include "platform/PathText.h"
#include "settings/RuntimeSettings.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

namespace ornel
{

void LeaveFtpDir(FtpClient& ftp, int depth)
{
    for (int i = 0; i < depth; ++i) {
        ftp.ChangeDirUp();
    }
}

Outgoing::Outgoing(EngineContext& ctx, FolderLayout& layout, FileMoves& moves, Counters& counters,
                   TransferState& state)
    : m_ctx(ctx)
    , m_layout(layout)
    , m_moves(moves)
    , m_counters(counters)
    , m_state(state)
{}

int Outgoing::SendFiles()
{
    m_ctx.log.AddLog("Передача");
    int count = 0;
    const std::string& folder = m_ctx.settings.TempSend;
    if (m_moves.CountFiles(folder, true) > 0) {
        // The listing that counted them: hidden files are sent, work in progress (a copy or
        // an encryption cut short) never is.
        const std::vector<FileEntry> files = ListFolderFiles(PathFromUtf8(folder));
        if (!files.empty()) {
            m_ctx.loop.ProcessPendingEvents();
            m_ctx.ftp.ChangeDir(m_ctx.settings.FtpIn);
            m_ctx.loop.ProcessPendingEvents();
            OpenFileProbe stillOpen;
            ExchangeBatch batch(m_ctx, &m_counters);
            try {
                for (const FileEntry& entry : files) {
                    if (m_state.StopRequested) {
                        break;
                    }
                    if (batch.Full()) {
                        batch.Restart();
                    }
                    const std::string& name = entry.Name;
                    const std::filesystem::path file = PathFromUtf8(folder) / PathFromUtf8(name);
                    // Still held by the program that writes it: taken up by a later cycle. A
                    // file marked read-only is not ours to delete after the upload, so it
                    // stays. (An administrator's open for writing succeeds on such a file all
                    // the same, so the test for other openers alone does not tell it.)
                    if (IsReadOnlyFile(file) || !stillOpen.IsFree(file)) {
                        continue;
                    }
                    // The name goes to the server in Windows-1251; one that has no form there
                    // would arrive under another name, so the file waits for a person to
                    // rename it.
                    if (!m_moves.CheckLocalName(name)) {
                        m_state.ErrorLogged = true;
                        continue;
                    }
                    m_ctx.loop.ProcessPendingEvents();
                    SendOne(name, file, batch);
                    ++count;
                }
            } catch (...) {
                batch.FinishAfterError();
                throw;
            }
            batch.Finish();
            LeaveFtpDir(m_layout.FtpInDepth());
        }
    }
    m_ctx.log.AddLog("Всего файлов: " + std::to_string(count));
    return count;
}

void Outgoing::SendOne(const std::string& name, const std::filesystem::path& file, ExchangeBatch& batch)
{
    // Measured now, not when listed: the size sent is the size checked on the server.
    const std::optional<std::int64_t> measured = FileSize(file);
    const std::int64_t size = measured.value_or(0);
    m_state.ProgressMax = size;
    m_ctx.desktop.SetProgressRange(size);

    m_ctx.loop.ProcessPendingEvents();
    m_counters.CountSent(size);
    m_ctx.loop.ProcessPendingEvents();

    m_state.CurrentFile = name;
    batch.AddWork(size);
    const auto archived = m_moves.BackupCrypt(TransferDirection::Outgoing, PathToUtf8(file), &batch);
    m_ctx.log.AddLog("Передаем файл " + name + " " + std::to_string(size) + " байт");
    try {
        m_ctx.loop.ProcessPendingEvents();
        DeleteRemoteTemp(name);
        m_ctx.ftp.Put(file, name, false);
        // The client takes a control connection that closes right after the data as a finished
        // upload. The local file is the sender's only working copy, so it is deleted only when
        // the server, asked afterwards, holds the whole of it (or cannot tell its size).
        if (measured) {
            const std::int64_t stored = m_ctx.ftp.Size(name);
            if (stored >= 0 && stored != size) {
                // The part must not stand on the server under the file's own name, where it
                // could be taken for the whole document; the file is sent again next cycle.
                try {
                    m_ctx.ftp.Delete(name);
                } catch (const std::exception&) {
                    // the mismatch below is the error to report; the next upload replaces the part
                }
                throw std::runtime_error("Файл " + name + " принят FTP не полностью: " +
                                         std::to_string(stored) + " из " + std::to_string(size) + " байт");
            }
        }
        m_ctx.loop.ProcessPendingEvents();
    } catch (const std::exception& e) {
        LogError(e.what());
        throw;
    }
    m_ctx.log.AddLog("Передали файл " + name);
    m_ctx.journal.AddJournalRecord(name, "", JournalEvent::Uploaded);

    // The working copy goes once its archive copy is on the disk and the batch is journaled;
    // a file that cannot be deleted is sent again next cycle.
    ExchangeBatch::Needs needs;
    if (archived) {
        needs.push_back(*archived);
    }
    batch.DeleteAfterCommit(file, std::move(needs));
    m_ctx.loop.ProcessPendingEvents();
    m_state.CurrentFile.clear();
}

void Outgoing::DeleteRemoteTemp(const std::string& name)
{
    m_ctx.log.AddLog("Поиск временных файлов на FTP");
    const std::string tempName = ".in." + name + ".";
    std::vector<std::string> found;
    try {
        ServerListing::ListMasked(m_ctx.ftp, found, tempName, false, m_state.ServerRefusesMasks);
    } catch (const std::exception&) {
        found.clear(); // most servers refuse to list a name that is not there
    }
    m_ctx.loop.ProcessPendingEvents();
    // The server matches the name as a pattern; a name with "*", "?" or "[" in it could match
    // another upload's file, so only the exact name is ever deleted.
    if (found.size() != 1 || found.front() != tempName) {
        return;
    }
    const std::string entry = found.front();
    m_ctx.log.AddLog("Найден временный файл " + entry);
    m_ctx.loop.ProcessPendingEvents();
    try {
        m_ctx.ftp.Delete(entry);
    } catch (const std::exception&) {
        // A leftover that cannot be deleted is overwritten by the server's next upload anyway.
    }
    m_ctx.loop.ProcessPendingEvents();
    m_ctx.log.AddLog("Найден временный файл " + entry + " удален");
}

void Outgoing::LeaveFtpDir(int depth)
{
    ornel::LeaveFtpDir(m_ctx.ftp, depth);
}

void Outgoing::LogError(const std::string& message)
{
    m_state.ErrorLogged = true;
    m_ctx.log.AddLog("Ошибка: " + message);
}

} // namespace ornel
