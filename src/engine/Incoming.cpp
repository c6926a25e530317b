#include "engine/Incoming.h"

#include "engine/Counters.h"
#include "engine/Desktop.h"
#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "engine/ExchangeBatch.h"
#include "engine/FileMoves.h"
#include "engine/FolderLayout.h"
#include "engine/Notifications.h"
#include "engine/Outgoing.h"
#include "engine/ServerListing.h"
#include "engine/TransferDirection.h"
#include "engine/TransferState.h"
#include "ftp/FtpClient.h"
#include "ftp/FtpErrors.h"
#include "journal/Journal.h"
#include "platform/CrashPoint.h"
#include "platform/EventLoop.h"
#include "platform/FileBatch.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"
#include "settings/RuntimeSettings.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <set>
#include <stdexcept>

namespace ornel
{

namespace
{

std::string TrimBlanks(const std::string& text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string Replaced(std::string text, const std::string& what, const std::string& with)
{
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + with.size())) {
        text.replace(pos, what.size(), with);
    }
    return text;
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            joined += "\r\n";
        }
        joined += lines[i];
    }
    return joined;
}

} // namespace

Incoming::Incoming(EngineContext& ctx, FolderLayout& layout, FileMoves& moves, Counters& counters,
                   Notifications& notifications, TransferState& state)
    : m_ctx(ctx)
    , m_layout(layout)
    , m_moves(moves)
    , m_counters(counters)
    , m_notifications(notifications)
    , m_state(state)
{}

int Incoming::CountListedFiles(const std::vector<std::string>& lines)
{
    int count = 0;
    for (const std::string& line : lines) {
        if (!line.empty() && line.front() == '-') {
            ++count;
        }
    }
    return count;
}

bool Incoming::IsSafeListedName(const std::string& name)
{
    const std::string trimmed = TrimBlanks(name);
    if (trimmed.empty() || trimmed == "." || trimmed == "..") {
        return false;
    }
    // The other system's delimiter as well: a listing may come from either kind of server.
    return name.find('\\') == std::string::npos && IsStorableFileName(name);
}

int Incoming::ReceiveFiles()
{
    m_ctx.log.AddLog("Прием");
    m_ctx.loop.ProcessPendingEvents();
    m_ctx.ftp.ChangeDir(m_ctx.settings.FtpOut);
    m_ctx.loop.ProcessPendingEvents();

    int count = 0;
    std::exception_ptr failure;
    try {
        count = ReceiveListed();
    } catch (...) {
        failure = std::current_exception();
    }
    // Climbing back runs in every case; its own error is the one the cycle then sees.
    LeaveFtpDir(m_ctx.ftp, m_layout.FtpOutDepth());
    if (failure) {
        std::rethrow_exception(failure);
    }
    return count;
}

int Incoming::ReceiveListed()
{
    std::vector<std::string> detailed;
    ListOrLog(detailed, true);
    m_ctx.loop.ProcessPendingEvents();
    m_ctx.loop.ProcessPendingEvents();
    const int listed = CountListedFiles(detailed);
    m_ctx.loop.ProcessPendingEvents();
    if (listed < 1) {
        m_ctx.log.AddLog("На FTP нет файлов");
        return 0;
    }

    std::vector<std::string> lines;
    ListOrLog(lines, false);
    m_ctx.loop.ProcessPendingEvents();
    const std::string joined = TrimBlanks(JoinLines(lines));
    m_ctx.log.AddLog("Файлы на ФТП");
    m_ctx.log.AddLog(joined);
    m_ctx.log.AddLog("Всего файлов:" + std::to_string(listed));
    m_notifications.PlayNotification(SoundEvent::FilesOnServer);
    m_ctx.loop.ProcessPendingEvents();
    m_ctx.journal.AddJournalListing(joined);

    // A folder whose name matches the mask is in the name listing too; its RETR can only fail.
    const std::set<std::string> folders = ServerListing::FolderNames(detailed);
    int count = 0;
    ExchangeBatch batch(m_ctx, &m_counters);
    try {
        for (const std::string& line : lines) {
            if (m_state.StopRequested) {
                break;
            }
            if (batch.Full()) {
                batch.Restart();
            }
            // The listing comes from the server: a name that would leave TempReciv or name the
            // folder itself is never turned into a local path, and the server keeps that file.
            if (!IsSafeListedName(line)) {
                LogError("Недопустимое имя файла на FTP: \"" + line + "\"");
                continue;
            }
            if (folders.count(line) > 0 || folders.count(TrimBlanks(line)) > 0) {
                m_ctx.log.AddLog("Пропускаем папку на FTP " + TrimBlanks(line));
                continue;
            }
            if (ReceiveOne(line, batch)) {
                ++count;
            }
        }
    } catch (...) {
        batch.FinishAfterError();
        throw;
    }
    batch.Finish();
    return count;
}

std::int64_t Incoming::AnnouncedSize(std::string& remote, const std::string& trimmed)
{
    try {
        const std::int64_t size = m_ctx.ftp.Size(remote);
        if (size >= 0 || remote == trimmed ||
            !ServerListing::IsPermanentRefusal(m_ctx.ftp.LastReply().NumericCode())) {
            return size;
        }
        // A server that pads its name listing does not know the padded name.
        const std::int64_t trimmedSize = m_ctx.ftp.Size(trimmed);
        if (trimmedSize >= 0) {
            remote = trimmed;
        }
        return trimmedSize;
    } catch (const std::exception&) {
        return -1; // no size: reported as 0 bytes, the transfer's own end decides
    }
}

void Incoming::Download(std::string& remote, const std::string& trimmed, std::filesystem::path& local,
                        const std::filesystem::path& written)
{
    try {
        m_ctx.ftp.Get(remote, written, true, false);
    } catch (const EFtpReplyError& e) {
        if (remote == trimmed || !ServerListing::IsPermanentRefusal(e.ReplyCode())) {
            throw;
        }
        // The name as listed is refused; the trimmed one is then the file's name on both sides.
        remote = trimmed;
        local = local.parent_path() / trimmed;
        m_ctx.ftp.Get(remote, written, true, false);
    }
}

bool Incoming::ReceiveOne(const std::string& listed, ExchangeBatch& batch)
{
    // The line is the server's own name and is used for every file operation on either side,
    // unless the server refuses it and takes it trimmed; the log and the journal show it
    // without surrounding blanks, as the listing above.
    const std::string name = TrimBlanks(listed);
    std::string remote = listed;
    const std::int64_t announced = AnnouncedSize(remote, name);
    std::filesystem::path local = PathFromUtf8(m_ctx.settings.TempReciv) / PathFromUtf8(remote);
    // A download takes the place of a file of its name only when that is the same file fetched
    // before (a crash came between its name and its DELE). A different one is an earlier
    // download still waiting for decryption: it stays, and the server keeps this one for a
    // later cycle. A size that differs tells it before any transfer; equal sizes, after it.
    if (announced >= 0 && FileExists(local) && FileSize(local) != announced) {
        LeaveForWaitingFile(name, local);
        return false;
    }
    const std::int64_t size = announced > 0 ? announced : 0;
    m_state.ProgressMax = size;
    m_ctx.desktop.SetProgressRange(size);

    m_ctx.loop.ProcessPendingEvents();
    m_counters.CountReceived(size);

    m_state.CurrentFile = name;
    m_ctx.log.AddLog("Принимаем файл " + name + " " + std::to_string(size) + " байт");
    // Written under a hidden name and given its own once the batch's data is on the disk: a
    // download cut short never stands in TempReciv under a real name.
    std::filesystem::path written = PartialName(PathFromUtf8(m_ctx.settings.TempReciv));
    FileBatch::Item download = 0;
    try {
        Download(remote, name, local, written);
        m_ctx.loop.ProcessPendingEvents();
        // A download cut short can still end with a good reply from some servers; the server
        // copy is deleted below, so a file shorter than announced is not taken as received.
        if (announced >= 0) {
            const std::optional<std::int64_t> received = FileSize(written);
            if (received.value_or(-1) != announced) {
                throw std::runtime_error("Файл " + name +
                                         " принят не полностью: " + std::to_string(received.value_or(0)) +
                                         " из " + std::to_string(announced) + " байт");
            }
        }
        if (FileExists(local) && !SameFileContent(written, local)) {
            (void)DeleteFile(written);
            LeaveForWaitingFile(name, local);
            return false;
        }
        download = batch.Files().StageWritten(written, local);
        // A name that the folder refuses (too long, taken by a folder) fails the download
        // only when the batch names it: an error all the same, and the server keeps the file.
        batch.RequireNamed(download, "Файл " + name + " не сохранён");
    } catch (const std::exception& e) {
        (void)DeleteFile(written); // nothing half-received may wait in TempReciv for decryption
        // The hidden name means nothing to a reader of the log; the message names the file.
        const std::string message = Replaced(e.what(), PathToUtf8(written), PathToUtf8(local));
        LogError(message);
        const auto* refusal = dynamic_cast<const EFtpReplyError*>(&e);
        if (refusal == nullptr || !ServerListing::IsPermanentRefusal(refusal->ReplyCode())) {
            // A passing failure or a broken connection: the files after it wait too.
            if (message != e.what()) {
                throw std::runtime_error(message);
            }
            throw;
        }
        // This one file is refused for good; it stays on the server and the others still come.
        m_ctx.log.AddLog("Файл " + name + " оставлен на FTP");
        m_state.CurrentFile.clear();
        return false;
    }
    batch.AddWork(size);
    m_ctx.log.AddLog("Приняли файл " + name);
    m_ctx.journal.AddJournalRecord(name, "", JournalEvent::Downloaded);

    const auto archived = m_moves.BackupCrypt(TransferDirection::Incoming, PathToUtf8(local), &batch, written);
    // The server's copy is deleted only once this one, and its archive copy, are on the disk
    // under their names and the batch is journaled; until then a crash leaves it to be
    // fetched again.
    ExchangeBatch::Needs needs{download};
    if (archived) {
        needs.push_back(*archived);
    }
    batch.AfterCommit(
        [this, remote] {
            try {
                m_ctx.ftp.Delete(remote);
            } catch (const std::exception& e) {
                LogError(e.what()); // fetched again next cycle; its copies then get dated names
            }
            CrashPoint("batch-dele");
        },
        std::move(needs));
    m_state.CurrentFile.clear();
    return true;
}

void Incoming::LeaveForWaitingFile(const std::string& name, const std::filesystem::path& local)
{
    m_ctx.log.AddLog("Файл " + name + " оставлен на FTP: в " + PathToUtf8(local.parent_path()) +
                     " ждёт расшифровки другой файл с этим именем");
    m_state.CurrentFile.clear();
}

void Incoming::ListOrLog(std::vector<std::string>& lines, bool details)
{
    try {
        ServerListing::ListMasked(m_ctx.ftp, lines, "*.*", details, m_state.ServerRefusesMasks);
    } catch (const std::exception& e) {
        LogError(e.what());
    }
}

void Incoming::LogError(const std::string& message)
{
    m_state.ErrorLogged = true;
    m_ctx.log.AddLog("Ошибка: " + message);
}

} // namespace ornel
