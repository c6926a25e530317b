// Files and folders on Windows: listings by FindFirstFileExW, partial files created new
// under a hidden name, flushed by FlushFileBuffers and named by MoveFileExW with
// MOVEFILE_WRITE_THROUGH (which returns once the new name is on the disk, so no folder
// needs a flush of its own), and the exclusive open as the still-open test.
#include "platform/FileBatch.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"
#include "platform/win/FileHandle.h"
#include "platform/win/WideText.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace ornel
{

namespace win
{

std::string FileErrorText(const std::string& what, const std::filesystem::path& file, unsigned long error)
{
    return what + " " + PathToUtf8(file) + ": " + SystemErrorText(error);
}

void WriteAll(HANDLE handle, const char* data, std::size_t size, const std::filesystem::path& file)
{
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle, data, chunk, &written, nullptr)) {
            throw std::runtime_error(FileErrorText("Cannot write", file, GetLastError()));
        }
        data += written;
        size -= written;
    }
}

bool NameTaken(unsigned long error)
{
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

std::filesystem::path FolderOf(const std::filesystem::path& file)
{
    const auto folder = file.parent_path();
    return folder.empty() ? std::filesystem::path(L".") : folder;
}

} // namespace win

namespace
{

void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

bool IsPartialName(std::string_view name)
{
    return name.substr(0, kPartialPrefix.size()) == kPartialPrefix;
}

std::int64_t Join(DWORD high, DWORD low)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

// The attributes of a file or folder, links followed; nothing when it cannot be examined.
std::optional<WIN32_FILE_ATTRIBUTE_DATA> Attributes(const std::filesystem::path& path)
{
    if (path.empty()) {
        return std::nullopt;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return data;
    }
    // A link: what it points to.
    win::FileHandle target(CreateFileW(path.c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!target.Valid() || !GetFileInformationByHandle(target.Get(), &info)) {
        return std::nullopt;
    }
    data.dwFileAttributes = info.dwFileAttributes;
    data.nFileSizeHigh = info.nFileSizeHigh;
    data.nFileSizeLow = info.nFileSizeLow;
    data.ftLastWriteTime = info.ftLastWriteTime;
    return data;
}

bool IsFolder(const WIN32_FILE_ATTRIBUTE_DATA& data)
{
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Calls `visit` with each entry matching `pattern` in `folder` (its name, its find data).
template <typename Visit>
void ForEachEntry(const std::filesystem::path& folder, const wchar_t* pattern, Visit visit)
{
    if (folder.empty()) {
        return; // an unset folder holds nothing; it never stands for the current folder
    }
    WIN32_FIND_DATAW data{};
    const std::filesystem::path search = folder / pattern;
    HANDLE find = FindFirstFileExW(search.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::wstring_view name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        visit(win::Utf8(name), data);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

} // namespace

std::FILE* OpenCFile(const std::filesystem::path& file, const char* mode)
{
    std::wstring wideMode;
    for (const char* c = mode; *c != '\0'; ++c) {
        wideMode += static_cast<wchar_t>(*c);
    }
    return _wfopen(file.c_str(), wideMode.c_str());
}

std::vector<FileEntry> ListFolder(const std::filesystem::path& folder)
{
    std::vector<FileEntry> entries;
    ForEachEntry(folder, L"*", [&](std::string name, const WIN32_FIND_DATAW& data) {
        if (IsPartialName(name)) {
            return;
        }
        bool isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::int64_t size = Join(data.nFileSizeHigh, data.nFileSizeLow);
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            const auto target = Attributes(folder / data.cFileName);
            if (!target) {
                return; // a dangling link: nothing that could be read
            }
            isDir = IsFolder(*target);
            size = Join(target->nFileSizeHigh, target->nFileSizeLow);
        }
        entries.push_back({std::move(name), isDir ? 0 : size, isDir});
    });
    std::sort(entries.begin(), entries.end(),
              [](const FileEntry& a, const FileEntry& b) { return a.Name < b.Name; });
    return entries;
}

PartialFile::PartialFile(const std::filesystem::path& folder)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = PartialName(folder);
        HANDLE h = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            m_native = reinterpret_cast<std::intptr_t>(h);
            m_path = std::move(candidate);
            return;
        }
        const DWORD error = GetLastError();
        if (!win::NameTaken(error)) {
            throw std::runtime_error(win::FileErrorText("Cannot create a file in", folder, error));
        }
    }
    throw std::runtime_error("Cannot create a file in " + PathToUtf8(folder));
}

PartialFile::PartialFile(PartialFile&& other) noexcept
    : m_path(std::move(other.m_path))
    , m_native(std::exchange(other.m_native, -1))
{
    other.m_path.clear();
}

PartialFile::~PartialFile()
{
    if (m_native != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(m_native));
    }
    if (!m_path.empty()) {
        DeleteFileW(m_path.c_str());
    }
}

void PartialFile::Write(const void* data, std::size_t size)
{
    win::WriteAll(reinterpret_cast<HANDLE>(m_native), static_cast<const char*>(data), size, m_path);
}

bool PartialFile::Commit(const std::filesystem::path& target, std::string* error)
{
    bool ok = true;
    const HANDLE handle = reinterpret_cast<HANDLE>(std::exchange(m_native, -1));
    if (!FlushFileBuffers(handle)) {
        SetError(error, win::FileErrorText("Cannot sync", m_path, GetLastError()));
        ok = false;
    }
    CloseHandle(handle);
    if (ok && !MoveFileExW(m_path.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD err = GetLastError();
        SetError(error,
                 win::FileErrorText(win::NameTaken(err) ? "File exists:" : "Cannot create", target, err));
        ok = false;
    }
    if (!ok) {
        DeleteFileW(m_path.c_str());
    }
    m_path.clear();
    return ok;
}

bool MoveFileNoReplace(const std::filesystem::path& source, const std::filesystem::path& target,
                       std::string* error)
{
    const auto attributes = Attributes(source);
    if (!attributes || IsFolder(*attributes)) {
        SetError(error, "Not a file: " + PathToUtf8(source));
        return false;
    }
    // Within one volume a rename; across volumes the system copies and deletes, the copy
    // written through before the source goes.
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH | MOVEFILE_COPY_ALLOWED)) {
        return true;
    }
    const DWORD err = GetLastError();
    SetError(error, win::NameTaken(err) ? "File exists: " + PathToUtf8(target)
                                        : win::FileErrorText("Cannot move", source, err));
    return false;
}

bool DeleteFile(const std::filesystem::path& file)
{
    const auto attributes = Attributes(file);
    return attributes && !IsFolder(*attributes) && DeleteFileW(file.c_str());
}

bool FileExists(const std::filesystem::path& file)
{
    const auto attributes = Attributes(file);
    return attributes && !IsFolder(*attributes);
}

bool IsStorableFileName(std::string_view name)
{
    if (name.find_first_not_of(". ") == std::string_view::npos) {
        return false; // empty, ".", "..", or a name that Windows trims to nothing
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 32 ||
            std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
            return false;
        }
    }
    // A device stays a device with an extension, and with blanks after its name.
    std::string_view base = name.substr(0, name.find('.'));
    base = base.substr(0, base.find_last_not_of(' ') + 1);
    for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
        if (MatchesMask(base, device)) {
            return false;
        }
    }
    if (base.size() > 3 && (MatchesMask(base.substr(0, 3), "COM") || MatchesMask(base.substr(0, 3), "LPT"))) {
        // COM0 to COM9, and COM¹ to COM³ (superscript digits, UTF-8).
        const std::string_view number = base.substr(3);
        if ((number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
            number == "\xC2\xB2" || number == "\xC2\xB3") {
            return false;
        }
    }
    return true;
}

bool NameExists(const std::filesystem::path& path)
{
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::int64_t> FileSize(const std::filesystem::path& file)
{
    const auto attributes = Attributes(file);
    if (!attributes || IsFolder(*attributes)) {
        return std::nullopt;
    }
    return Join(attributes->nFileSizeHigh, attributes->nFileSizeLow);
}

bool IsReadOnlyFile(const std::filesystem::path& file)
{
    const auto attributes = Attributes(file);
    return attributes && (attributes->dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool FolderExists(const std::filesystem::path& folder)
{
    const auto attributes = Attributes(folder);
    return attributes && IsFolder(*attributes);
}

bool MakeFolder(const std::filesystem::path& folder)
{
    return !folder.empty() && CreateDirectoryW(folder.c_str(), nullptr);
}

void RemoveStalePartialFiles(const std::filesystem::path& folder, std::chrono::seconds maxAge)
{
    FILETIME nowTime{};
    GetSystemTimeAsFileTime(&nowTime);
    const std::int64_t now = Join(nowTime.dwHighDateTime, nowTime.dwLowDateTime);
    const std::int64_t age = static_cast<std::int64_t>(maxAge.count()) * 10'000'000; // 100 ns units
    const std::wstring pattern = win::Wide(std::string(kPartialPrefix) + "*");
    ForEachEntry(folder, pattern.c_str(), [&](const std::string& name, const WIN32_FIND_DATAW& data) {
        const bool plainFile =
            (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
        const std::int64_t written =
            Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
        if (IsPartialName(name) && plainFile && now - written > age) {
            DeleteFileW((folder / data.cFileName).c_str());
        }
    });
}

bool MakeDurable(const std::filesystem::path& file)
{
    // FlushFileBuffers asks for write access.
    const win::FileHandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle.Valid() && FlushFileBuffers(handle.Get());
}

bool ReplaceFileDurably(const std::filesystem::path& replacement, const std::filesystem::path& target,
                        std::string* error)
{
    if (!MakeDurable(replacement)) {
        SetError(error, win::FileErrorText("Cannot sync", replacement, GetLastError()));
        return false;
    }
    if (!MoveFileExW(replacement.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        SetError(error, win::FileErrorText("Cannot replace", target, GetLastError()));
        return false;
    }
    return true;
}

bool CopyPermissions(const std::filesystem::path& original, const std::filesystem::path& copy,
                     std::string* error)
{
    // A file's access rights come from its folder's, which the copy beside it shares.
    (void)original;
    (void)copy;
    (void)error;
    return true;
}

bool MakeOwnerOnly(const std::filesystem::path& file, std::string* error)
{
    // A file's access rights come from its folder's.
    (void)file;
    (void)error;
    return true;
}

void SyncFolder(const std::filesystem::path& folder)
{
    // Names are placed with MOVEFILE_WRITE_THROUGH, which does not return before the
    // folder's change is on the disk; Windows offers no flush of a folder besides.
    (void)folder;
}

} // namespace ornel
