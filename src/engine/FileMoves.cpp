#include "engine/FileMoves.h"

#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "engine/ExchangeBatch.h"
#include "engine/FolderLayout.h"
#include "journal/Journal.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"
#include "settings/RuntimeSettings.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace ornel
{

namespace
{

// Older than any copy could take without writing a block.
constexpr std::chrono::hours kStalePartialAge{1};

bool IsBlank(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

// The name part of a path text: everything after its last delimiter.
std::string NamePart(const std::string& path)
{
    const auto pos = LastPathDelim(path);
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

// The extension of a name, dot included, from its last "."; "" without a dot.
std::string Extension(const std::string& name)
{
    const auto pos = name.rfind('.');
    return pos == std::string::npos ? std::string() : name.substr(pos);
}

bool NameTaken(const std::filesystem::path& path)
{
    return NameExists(path);
}

} // namespace

FileMoves::FileMoves(EngineContext& ctx, const FolderLayout& layout)
    : m_ctx(ctx)
    , m_layout(layout)
{}

int FileMoves::CountFiles(const std::string& folder, bool list)
{
    if (list) {
        m_ctx.log.AddLog("Папка: " + folder);
    }
    const auto files = ListFolderFiles(PathFromUtf8(folder));
    const int count = static_cast<int>(files.size());
    if (!list) {
        return count;
    }
    const bool isPostBoxOut = folder == m_ctx.settings.PostBoxOut;
    std::vector<std::string> found;
    for (const auto& file : files) {
        m_ctx.log.AddLog(file.Name);
        // A name that cannot travel is not journaled as found: MoveWithBackup leaves it.
        if (isPostBoxOut && IsCp1251Representable(file.Name)) {
            found.push_back(file.Name);
        }
    }
    // The listing's rows are one transaction.
    m_ctx.journal.AddJournalRecords(found, JournalEvent::OutgoingFound);
    m_ctx.log.AddLog(count == 0 ? std::string("Нет файлов") : "Всего файлов:" + std::to_string(count));
    return count;
}

std::string FileMoves::CopyTarget(const std::string& name, const std::string& targetFolder,
                                  const FileBatch* batch) const
{
    std::string target = targetFolder + name;
    if (NameTaken(PathFromUtf8(target)) || (batch != nullptr && batch->Reserves(PathFromUtf8(target)))) {
        const std::string ext = Extension(NamePart(target));
        target = target.substr(0, target.size() - ext.size()) +
                 FormatDateTime("dd/mm/yyyy hh-nn-ss.zzz", m_ctx.clock.Now()) + ext;
    }
    return target;
}

std::optional<std::filesystem::path> FileMoves::BackupFile(const std::filesystem::path& source,
                                                           const std::string& targetFolder)
{
    const auto target = PathFromUtf8(CopyTarget(NamePart(PathToUtf8(source)), targetFolder, nullptr));
    if (!CopyFileNoReplace(source, target)) {
        return std::nullopt;
    }
    return target;
}

std::optional<std::filesystem::path> FileMoves::MoveByCopy(const std::filesystem::path& source,
                                                           const std::string& targetFolder)
{
    auto copy = BackupFile(source, targetFolder);
    // The source goes only once its copy is complete, synced and checked.
    if (!copy || !DeleteFile(source)) {
        return std::nullopt;
    }
    return copy;
}

void FileMoves::MoveWithBackup(TransferDirection direction, const std::string& sourceFolder,
                               const std::string& targetFolder)
{
    // Without both folders every target would be a name in the root of the file system.
    if (IsBlank(sourceFolder) || IsBlank(targetFolder)) {
        return;
    }
    const std::string source = FolderLayout::WithoutTrailingDelim(sourceFolder);
    const std::string target = FolderLayout::WithoutTrailingDelim(targetFolder) + kPathDelim;
    // The post box must not keep the remains of a copy that a crash cut short.
    RemoveStaleParts(target);
    ExchangeBatch batch(m_ctx);
    try {
        for (const auto& file : ListFolderFiles(PathFromUtf8(source))) {
            if (batch.Full()) {
                batch.Restart();
            }
            m_ctx.loop.ProcessPendingEvents();
            if (!CheckLocalName(file.Name)) {
                continue;
            }
            const std::filesystem::path from = PathFromUtf8(source + kPathDelim + file.Name);
            const std::string to = CopyTarget(file.Name, target, &batch.Files());
            // A delivery moves our own working file once the batch is journaled; within one
            // file system that is a rename. An outgoing file is copied instead: the copy is
            // checked against a source that its writer may not have finished.
            std::optional<FileBatch::Item> moved;
            if (direction == TransferDirection::Incoming) {
                moved = batch.Files().StageRename(from, PathFromUtf8(to));
            }
            if (!moved) {
                moved = batch.StageCopy(from, PathFromUtf8(to));
                if (!moved) {
                    continue; // stays where it is for a later cycle
                }
                // The source goes once its copy has its name on the disk and the batch is
                // journaled.
                batch.DeleteAfterCommit(from, {*moved});
            }
            batch.AddWork(file.Size);
            // The archive copy is made of the file just moved, under the name it got there
            // (read from the source, as the moved copy has no name yet), not from an older
            // file that may already stand under its first name; it is recorded on the
            // file's own journal row all the same.
            (void)BackupPlain(direction, to, file.Name, &batch, from);
        }
    } catch (...) {
        batch.FinishAfterError();
        throw;
    }
    batch.Finish();
}

void FileMoves::RemoveStaleParts(const std::string& folder)
{
    if (!IsBlank(folder)) {
        RemoveStalePartialFiles(PathFromUtf8(FolderLayout::WithoutTrailingDelim(folder)), kStalePartialAge);
    }
}

std::optional<FileBatch::Item> FileMoves::BackupPlain(TransferDirection direction, const std::string& file,
                                                      const std::string& journalName, ExchangeBatch* batch,
                                                      const std::filesystem::path& readFrom)
{
    return Backup(direction == TransferDirection::Outgoing ? m_layout.ArcReciv2DayFolder()
                                                           : m_layout.ArcSend2DayFolder(),
                  file, journalName, static_cast<int>(JournalEvent::ArchivedPlain), batch, readFrom);
}

std::optional<FileBatch::Item> FileMoves::BackupCrypt(TransferDirection direction, const std::string& file,
                                                      ExchangeBatch* batch,
                                                      const std::filesystem::path& readFrom)
{
    return Backup(direction == TransferDirection::Outgoing ? m_layout.ArcRecivDayFolder()
                                                           : m_layout.ArcSendDayFolder(),
                  file, std::string(), static_cast<int>(JournalEvent::ArchivedEncrypted), batch, readFrom);
}

std::optional<FileBatch::Item> FileMoves::Backup(const std::string& dayFolder, const std::string& file,
                                                 const std::string& journalName, int journalEvent,
                                                 ExchangeBatch* batch, const std::filesystem::path& readFrom)
{
    if (IsBlank(dayFolder)) {
        return std::nullopt;
    }
    m_ctx.loop.ProcessPendingEvents();
    m_ctx.log.AddLog("Резервное коприрование файла " + file + " в папку " + dayFolder);
    const std::string folder = FolderLayout::WithoutTrailingDelim(dayFolder) + kPathDelim;
    std::optional<FileBatch::Item> item;
    std::filesystem::path copy;
    if (batch != nullptr) {
        copy = PathFromUtf8(CopyTarget(NamePart(file), folder, &batch->Files()));
        item = batch->StageCopy(readFrom.empty() ? PathFromUtf8(file) : readFrom, copy);
        if (!item) {
            throw std::runtime_error(kCannotSave);
        }
        batch->RequireNamed(*item, kCannotSave, false);
    } else {
        const auto made = BackupFile(PathFromUtf8(file), folder);
        if (!made) {
            throw std::runtime_error(kCannotSave);
        }
        copy = *made;
    }
    // The journal points at the copy itself, dated name included, so that the archived
    // file it names is the one that was archived.
    m_ctx.journal.AddJournalRecord(journalName.empty() ? NamePart(file) : journalName, PathToUtf8(copy),
                                   static_cast<JournalEvent>(journalEvent));
    return item;
}

bool FileMoves::CheckLocalName(const std::string& name)
{
    if (IsCp1251Representable(name)) {
        return true;
    }
    m_ctx.log.AddLog("Ошибка: Имя файла нельзя записать в кодировке Windows-1251, файл оставлен на месте: " +
                     name);
    return false;
}

bool FileMoves::CanOpenExclusive(const std::string& file)
{
    return CanOpenFileExclusive(PathFromUtf8(file));
}

bool FileMoves::CreateFolderChain(const std::string& folder)
{
    const std::string text = FolderLayout::WithoutTrailingDelim(folder);
    if (text.empty()) {
        return false;
    }
    if (FolderExists(PathFromUtf8(text))) {
        return true;
    }
    const auto pos = LastPathDelim(text);
    if (pos != std::string::npos && pos > 0) {
        const std::string parent = text.substr(0, pos);
        if (parent != text && !FolderExists(PathFromUtf8(parent))) {
            CreateFolderChain(parent);
        }
    }
    (void)MakeFolder(PathFromUtf8(text)); // a folder made meanwhile by someone else is just as good
    return FolderExists(PathFromUtf8(text));
}

} // namespace ornel
