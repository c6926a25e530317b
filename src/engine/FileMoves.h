// The engine's file helpers: counting a folder, archive copies that never overwrite,
// moves by checked copy and delete, whole-folder moves with archive copies and journal
// rows. Owned by TFMain next to FolderLayout; UI thread only.
#pragma once

#include "engine/TransferDirection.h"
#include "platform/FileBatch.h"

#include <filesystem>
#include <optional>
#include <string>

namespace ornel
{

class ExchangeBatch;
class FolderLayout;
struct EngineContext;

class FileMoves
{
public:
    static constexpr const char* kCannotSave = "Немогу сохранить файл";

    FileMoves(EngineContext& ctx, const FolderLayout& layout);

    // Number of files in the folder. With `list`: logs "Папка: " + folder, each name and
    // "Нет файлов" / "Всего файлов:" + N, and journals each file as OutgoingFound when the
    // folder is, character for character, the PostBoxOut setting (the listing's rows are
    // one transaction).
    int CountFiles(const std::string& folder, bool list);

    // Copies `source` into `targetFolder` (ending in "/") under its own name, or under the
    // name + the moment "dd/mm/yyyy hh-nn-ss.zzz" + extension when that name is taken.
    // Never overwrites. Returns the path of the copy, nothing when no copy was made.
    [[nodiscard]] std::optional<std::filesystem::path> BackupFile(const std::filesystem::path& source,
                                                                  const std::string& targetFolder);
    // BackupFile, then deletes the source. Returns where the file now is; nothing when the
    // copy failed (the source stays) or the source could not be deleted (then in both).
    [[nodiscard]] std::optional<std::filesystem::path> MoveByCopy(const std::filesystem::path& source,
                                                                  const std::string& targetFolder);

    // Moves every file of the source folder into the target folder, each with an archive
    // copy (BackupPlain), in batches: the copies of a batch reach the disk together and the
    // sources are deleted once the batch's journal records are committed. Subfolders stay; a
    // file that cannot be moved stays and the loop goes on; a name without a Windows-1251
    // form is logged as an error and stays. Throws kCannotSave when an archive copy fails
    // (the files before it are finished, that one moved).
    void MoveWithBackup(TransferDirection direction, const std::string& sourceFolder,
                        const std::string& targetFolder);

    // Archive copy into ArcReciv2DayFolder / ArcSend2DayFolder (plain) or ArcRecivDayFolder
    // / ArcSendDayFolder (encrypted), logged and journaled as ArchivedPlain /
    // ArchivedEncrypted with the path of the copy. No archive folder: nothing happens.
    // Throws kCannotSave. The journal row is the file's name, or `journalName` when given
    // (a file that got a dated name on its way keeps its own row). With a batch the copy is
    // staged in it, read from `readFrom` when given (the file itself has no name yet), and
    // its item returned; without one it is on the disk when the call returns.
    std::optional<FileBatch::Item> BackupPlain(TransferDirection direction, const std::string& file,
                                               const std::string& journalName = {},
                                               ExchangeBatch* batch = nullptr,
                                               const std::filesystem::path& readFrom = {});
    std::optional<FileBatch::Item> BackupCrypt(TransferDirection direction, const std::string& file,
                                               ExchangeBatch* batch = nullptr,
                                               const std::filesystem::path& readFrom = {});

    // Removes what copies and encryptions cut short by a crash left in a working folder:
    // partial files nobody has written to for an hour.
    void RemoveStaleParts(const std::string& folder);

    // Whether the name can be written in Windows-1251 (the server, the journal and the log
    // all carry it so); logs "Ошибка: ..." when it cannot.
    bool CheckLocalName(const std::string& name);

    [[nodiscard]] static bool CanOpenExclusive(const std::string& file);
    // Creates the folder with every missing parent; true when it exists afterwards.
    static bool CreateFolderChain(const std::string& folder);

private:
    std::optional<FileBatch::Item> Backup(const std::string& dayFolder, const std::string& file,
                                          const std::string& journalName, int journalEvent,
                                          ExchangeBatch* batch, const std::filesystem::path& readFrom);
    // Where a copy of a file named `name` goes in `targetFolder` (ending in "/"): under its
    // own name, or under a dated one when that is taken on the disk or in the batch.
    [[nodiscard]] std::string CopyTarget(const std::string& name, const std::string& targetFolder,
                                         const FileBatch* batch) const;

    EngineContext& m_ctx;
    const FolderLayout& m_layout;
};

} // namespace ornel
