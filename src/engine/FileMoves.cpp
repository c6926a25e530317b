#include "engine/FileMoves.h"

#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "engine/FolderLayout.h"
#include "journal/Journal.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "settings/RuntimeSettings.h"

#include <algorithm>
#include <stdexcept>

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
    const auto pos = path.rfind(kPathDelim);
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
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found && !ec;
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
    const auto files = ListFolderFiles(folder);
    const bool isPostBoxOut = folder == m_ctx.settings.PostBoxOut;
    for (const auto& file : files) {
        if (!list) {
            continue;
        }
        m_ctx.log.AddLog(file.Name);
        // A name that cannot travel is not journaled as found: MoveWithBackup leaves it.
        if (isPostBoxOut && IsCp1251Representable(file.Name)) {
            m_ctx.journal.AddJournalRecord(file.Name, "", JournalEvent::OutgoingFound);
        }
    }
    const int count = static_cast<int>(files.size());
    if (list) {
        m_ctx.log.AddLog(count == 0 ? std::string("Нет файлов") : "Всего файлов:" + std::to_string(count));
    }
    return count;
}

std::optional<std::filesystem::path> FileMoves::BackupFile(const std::filesystem::path& source,
                                                           const std::string& targetFolder)
{
    std::string target = targetFolder + NamePart(source.string());
    if (NameTaken(target)) {
        const std::string ext = Extension(NamePart(target));
        target = target.substr(0, target.size() - ext.size()) +
                 FormatDateTime("dd/mm/yyyy hh-nn-ss.zzz", m_ctx.clock.Now()) + ext;
    }
    if (!CopyFileNoReplace(source, target)) {
        return std::nullopt;
    }
    return std::filesystem::path(target);
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
    for (const auto& file : ListFolderFiles(source)) {
        m_ctx.loop.ProcessPendingEvents();
        if (!CheckLocalName(file.Name)) {
            continue;
        }
        const auto moved = MoveByCopy(source + kPathDelim + file.Name, target);
        if (moved) {
            // The archive copy is made from the file just moved, under the name it got
            // there, not from an older file that may already stand under its first name;
            // it is recorded on the file's own journal row all the same.
            BackupPlain(direction, moved->string(), file.Name);
        }
    }
}

void FileMoves::RemoveStaleParts(const std::string& folder)
{
    if (!IsBlank(folder)) {
        RemoveStalePartialFiles(FolderLayout::WithoutTrailingDelim(folder), kStalePartialAge);
    }
}

void FileMoves::BackupPlain(TransferDirection direction, const std::string& file,
                            const std::string& journalName)
{
    Backup(direction == TransferDirection::Outgoing ? m_layout.ArcReciv2DayFolder()
                                                    : m_layout.ArcSend2DayFolder(),
           file, journalName, static_cast<int>(JournalEvent::ArchivedPlain));
}

void FileMoves::BackupCrypt(TransferDirection direction, const std::string& file)
{
    Backup(direction == TransferDirection::Outgoing ? m_layout.ArcRecivDayFolder()
                                                    : m_layout.ArcSendDayFolder(),
           file, std::string(), static_cast<int>(JournalEvent::ArchivedEncrypted));
}

void FileMoves::Backup(const std::string& dayFolder, const std::string& file, const std::string& journalName,
                       int journalEvent)
{
    if (IsBlank(dayFolder)) {
        return;
    }
    m_ctx.loop.ProcessPendingEvents();
    m_ctx.log.AddLog("Резервное коприрование файла " + file + " в папку " + dayFolder);
    const auto copy = BackupFile(file, FolderLayout::WithoutTrailingDelim(dayFolder) + kPathDelim);
    if (!copy) {
        throw std::runtime_error(kCannotSave);
    }
    // The journal points at the copy itself, dated name included, so that the archived
    // file it names is the one that was archived.
    m_ctx.journal.AddJournalRecord(journalName.empty() ? NamePart(file) : journalName, copy->string(),
                                   static_cast<JournalEvent>(journalEvent));
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
    return CanOpenFileExclusive(file);
}

bool FileMoves::CreateFolderChain(const std::string& folder)
{
    const std::string text = FolderLayout::WithoutTrailingDelim(folder);
    if (text.empty()) {
        return false;
    }
    if (FolderExists(text)) {
        return true;
    }
    const auto pos = text.rfind(kPathDelim);
    if (pos != std::string::npos && pos > 0) {
        const std::string parent = text.substr(0, pos);
        if (parent != text && !FolderExists(parent)) {
            CreateFolderChain(parent);
        }
    }
    (void)MakeFolder(text); // a folder made meanwhile by someone else is just as good
    return FolderExists(text);
}

} // namespace ornel
