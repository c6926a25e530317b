#include "platform/RegistryStore.h"

#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/FileLock.h"
#include "platform/FileSnapshot.h"
#include "platform/PathText.h"
#include "platform/Environment.h"
#include "platform/RegFile.h"
#include "platform/RegistryBackEnd.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace ornel
{

namespace
{

[[noreturn]] void GetDataFailed(const std::string& name)
{
    throw std::runtime_error("Failed to get data for '" + name + "'");
}

[[noreturn]] void InvalidDataType(const std::string& name)
{
    throw std::runtime_error("Invalid data type for '" + name + "'");
}

[[noreturn]] void SetDataFailed(const std::string& name)
{
    detail::ThrowSetDataFailed(name);
}

std::size_t DataSize(const RegValue& value)
{
    switch (value.Kind) {
    case RegKind::Sz:
    case RegKind::ExpandSz:
        return Utf8ToCp1251Lossy(value.Text).size() + 1;
    case RegKind::Dword:
        return 4;
    case RegKind::Binary:
        return value.Bytes.size();
    }
    return 0;
}

// The registry hands a reader at most as many bytes as its buffer holds and reports larger
// data as a failure before the caller gets to look at the type; readers of integers and
// times therefore fail with "Failed to get data" for long texts and with "Invalid data
// type" for short ones.
const RegValue& Fetch(const std::optional<RegValue>& value, const std::string& name, std::size_t bufferSize)
{
    if (!value || DataSize(*value) > bufferSize)
        GetDataFailed(name);
    return *value;
}

std::string NormaliseKeyPath(const std::string& keyPath)
{
    std::string path = keyPath;
    while (!path.empty() && path.front() == '\\')
        path.erase(path.begin());
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

} // namespace

namespace detail
{

void ThrowSetDataFailed(const std::string& name)
{
    throw std::runtime_error("Failed to set data for '" + name + "'");
}

namespace
{

// The file store: one `.reg` document per hive, re-read when another process replaced it.
class FileHives final : public RegistryHives
{
public:
    FileHives(std::filesystem::path machineFolder, const std::filesystem::path& userFolder)
        : m_folder(std::move(machineFolder))
    {
        m_states[0].Folder = m_folder;
        m_states[0].File = m_folder / "hklm.reg";
        m_states[0].LockFile = m_folder / "hklm.lock";
        m_states[0].Root = "HKEY_LOCAL_MACHINE";
        m_states[1].Folder = userFolder;
        m_states[1].File = userFolder / "hkcu.reg";
        m_states[1].LockFile = userFolder / "hkcu.lock";
        m_states[1].Root = "HKEY_CURRENT_USER";
    }

    [[nodiscard]] std::filesystem::path Folder() const override { return m_folder; }
    [[nodiscard]] std::filesystem::path File(Hive hive) const override { return State(hive).File; }
    [[nodiscard]] std::string Location() const override { return PathToUtf8(m_folder); }

    std::optional<RegValue> Value(Hive hive, const std::string& keyPath, const std::string& name) override
    {
        const RegKeyBlock* key = FindRegKey(Current(hive), FullPath(hive, keyPath));
        const RegValue* value = key ? FindRegValue(*key, name) : nullptr;
        return value ? std::optional<RegValue>(*value) : std::nullopt;
    }

    std::vector<std::string> ValueNames(Hive hive, const std::string& keyPath) override
    {
        std::vector<std::string> names;
        if (const RegKeyBlock* key = FindRegKey(Current(hive), FullPath(hive, keyPath))) {
            for (const RegValue& value : key->Values)
                names.push_back(value.Name);
        }
        return names;
    }

    void SetValue(Hive hive, const std::string& keyPath, const RegValue& value) override
    {
        const std::string fullPath = FullPath(hive, keyPath);
        Mutate(hive, value.Name, [&](RegDocument& document) {
            RegKeyBlock* key = FindRegKey(document, fullPath);
            if (!key) {
                document.Keys.push_back(RegKeyBlock{fullPath, {}});
                key = &document.Keys.back();
            }
            if (RegValue* existing = FindRegValue(*key, value.Name)) {
                // The registry keeps the spelling the value was created with.
                RegValue replacement = value;
                replacement.Name = existing->Name;
                *existing = std::move(replacement);
            } else {
                key->Values.push_back(value);
            }
        });
    }

    bool CreateKey(Hive hive, const std::string& keyPath) override
    {
        const std::string fullPath = FullPath(hive, keyPath);
        // Reading first lets a damaged file stop the caller with its own message.
        if (FindRegKey(Current(hive), fullPath))
            return true;
        try {
            Mutate(hive, "", [&](RegDocument& document) {
                if (!FindRegKey(document, fullPath))
                    document.Keys.push_back(RegKeyBlock{fullPath, {}});
            });
        } catch (const std::runtime_error&) {
            return false;
        }
        return true;
    }

    [[nodiscard]] std::string FullPath(Hive hive, const std::string& keyPath) const
    {
        return State(hive).Root + "\\" + keyPath;
    }

    // The document as the file holds it now; re-read when another process replaced it.
    const RegDocument& Current(Hive hive)
    {
        HiveState& s = State(hive);
        Refresh(s);
        return s.Document;
    }

    // Applies `change` and replaces the file under the hive's lock, re-reading first so
    // that values written meanwhile by another process are kept.
    void Mutate(Hive hive, const std::string& name, const std::function<void(RegDocument&)>& change)
    {
        HiveState& s = State(hive);
        if (s.InBatch) {
            if (s.BatchBroken)
                SetDataFailed(name);
            if (s.BatchFirstName.empty())
                s.BatchFirstName = name; // creating a key has no name to report
            change(s.Document);
            s.BatchDirty = true;
            return;
        }
        try {
            CreateFolder(s);
            const FileLock lock(s.LockFile);
            Refresh(s);
            RegDocument updated = s.Document;
            change(updated);
            Save(s, updated);
        } catch (const std::exception&) {
            SetDataFailed(name);
        }
    }

    void BeginBatch(Hive hive) override
    {
        HiveState& s = State(hive);
        if (s.InBatch)
            throw std::logic_error("A batch is already open on " + PathToUtf8(s.File));
        s.InBatch = true;
        s.BatchBroken = false;
        s.BatchDirty = false;
        s.BatchFirstName.clear();
        try {
            CreateFolder(s);
            s.BatchLock = std::make_unique<FileLock>(s.LockFile);
            s.Loaded = false;
            Refresh(s);
        } catch (const std::exception&) {
            // Reads still work where they can; every write of the batch will fail.
            s.BatchBroken = true;
            s.BatchLock.reset();
        }
    }

    void CommitBatch(Hive hive) override
    {
        HiveState& s = State(hive);
        const std::string name = s.BatchFirstName;
        const bool dirty = s.BatchDirty;
        try {
            if (dirty) {
                const RegDocument document = s.Document;
                Save(s, document);
            }
        } catch (const std::exception&) {
            EndBatch(s);
            SetDataFailed(name);
        }
        EndBatch(s);
    }

    void AbortBatch(Hive hive) override
    {
        HiveState& s = State(hive);
        if (s.BatchDirty)
            s.Loaded = false; // drop the unsaved writes: the next read takes the file again
        EndBatch(s);
    }

private:
    struct HiveState
    {
        std::filesystem::path Folder;
        std::filesystem::path File;
        std::filesystem::path LockFile;
        std::string Root;
        RegDocument Document;
        bool Loaded = false;
        FileSnapshot Snapshot; // the file the document was read from or saved to
        bool InBatch = false;
        bool BatchBroken = false;
        bool BatchDirty = false;
        std::string BatchFirstName;
        std::unique_ptr<FileLock> BatchLock;
    };

    HiveState& State(Hive hive) { return m_states[hive == Hive::LocalMachine ? 0 : 1]; }
    const HiveState& State(Hive hive) const { return m_states[hive == Hive::LocalMachine ? 0 : 1]; }

    static void CreateFolder(const HiveState& s)
    {
        if (std::filesystem::is_directory(s.Folder))
            return;
        std::filesystem::create_directories(s.Folder);
        // The store holds passwords: the folder we create is the owner's alone.
        std::filesystem::permissions(s.Folder, std::filesystem::perms::owner_all);
    }

    // A read costs one stat while the file is the one read last; it is read and parsed
    // again only when another process replaced it or someone edited it.
    static void Refresh(HiveState& s)
    {
        if (s.Loaded && (s.InBatch || s.Snapshot.IsCurrent()))
            return;
        std::string content;
        FileSnapshot snapshot = FileSnapshot::Read(s.File, kMaxRegFileSize, content);
        // A file that cannot be parsed is an error, never an empty store: a later save would
        // otherwise overwrite every value it holds.
        s.Document = snapshot.Exists() ? ParseRegFile(content, PathToUtf8(s.File), RegFileRole::StoreHive)
                                       : RegDocument{};
        s.Snapshot = std::move(snapshot);
        s.Loaded = true;
    }

    static void Save(HiveState& s, const RegDocument& document)
    {
        const std::string text = SerializeRegFile(document, LineEnd::Lf);
        // Saving what the next read would refuse would lock every value away.
        if (text.size() > kMaxRegFileSize)
            throw std::runtime_error("The settings would exceed the size of a settings file");
        try {
            ReplaceFileAtomically(s.File, text);
        } catch (...) {
            s.Loaded = false;
            throw;
        }
        s.Document = document;
        s.Loaded = true;
        try {
            // The hive's lock is held, so the file in place is the one just written.
            s.Snapshot = FileSnapshot::Hold(s.File);
        } catch (const std::runtime_error&) {
            s.Snapshot = FileSnapshot(); // the write stands; the next read takes the file again
        }
    }

    static void EndBatch(HiveState& s)
    {
        s.InBatch = false;
        s.BatchBroken = false;
        s.BatchDirty = false;
        s.BatchFirstName.clear();
        s.BatchLock.reset();
    }

    std::filesystem::path m_folder;
    std::array<HiveState, 2> m_states;
};

} // namespace
} // namespace detail

RegistryKey::RegistryKey(detail::RegistryHives& hives, Hive hive, std::string path)
    : m_hives(&hives)
    , m_hive(hive)
    , m_path(std::move(path))
{}

namespace
{

std::optional<RegValue> Lookup(detail::RegistryHives& hives, Hive hive, const std::string& path,
                               const std::string& name)
{
    return hives.Value(hive, path, name);
}

} // namespace

bool RegistryKey::ValueExists(const std::string& name) const
{
    return Lookup(*m_hives, m_hive, m_path, name).has_value();
}

std::optional<RegDataInfo> RegistryKey::GetDataInfo(const std::string& name) const
{
    const std::optional<RegValue> value = Lookup(*m_hives, m_hive, m_path, name);
    if (!value)
        return std::nullopt;
    return RegDataInfo{value->Kind, DataSize(*value)};
}

std::string RegistryKey::ReadString(const std::string& name) const
{
    const std::optional<RegValue> value = Lookup(*m_hives, m_hive, m_path, name);
    if (!value)
        GetDataFailed(name);
    if (value->Kind != RegKind::Sz && value->Kind != RegKind::ExpandSz)
        InvalidDataType(name);
    return value->Text;
}

std::int32_t RegistryKey::ReadInteger(const std::string& name) const
{
    const std::optional<RegValue> found = Lookup(*m_hives, m_hive, m_path, name);
    const RegValue& value = Fetch(found, name, sizeof(std::int32_t));
    if (value.Kind != RegKind::Dword)
        InvalidDataType(name);
    return static_cast<std::int32_t>(value.Dword);
}

bool RegistryKey::ReadBool(const std::string& name) const
{
    return ReadInteger(name) != 0;
}

double RegistryKey::ReadFloat(const std::string& name) const
{
    const std::optional<RegValue> found = Lookup(*m_hives, m_hive, m_path, name);
    const RegValue& value = Fetch(found, name, sizeof(double));
    if (value.Kind != RegKind::Binary || value.Bytes.size() != sizeof(double))
        InvalidDataType(name);
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 8; ++i)
        bits |= static_cast<std::uint64_t>(value.Bytes[i]) << (8 * i);
    double result = 0;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

std::vector<std::uint8_t> RegistryKey::ReadBinary(const std::string& name) const
{
    const std::optional<RegValue> value = Lookup(*m_hives, m_hive, m_path, name);
    if (!value)
        GetDataFailed(name);
    if (value->Kind != RegKind::Binary)
        InvalidDataType(name);
    return value->Bytes;
}

namespace
{

// What the store's files can hold and read back: UTF-8 names and texts, a name on one line.
bool Storable(const RegValue& value)
{
    return IsValidUtf8(value.Name) && IsValidUtf8(value.Text) &&
           value.Name.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

void Store(detail::RegistryHives& hives, Hive hive, const std::string& path, const RegValue& value)
{
    if (!Storable(value))
        SetDataFailed(value.Name);
    hives.SetValue(hive, path, value);
}

RegValue TextValue(const std::string& name, RegKind kind, const std::string& text)
{
    RegValue value;
    value.Name = name;
    value.Kind = kind;
    // A reader of the registry stops at the first zero; keeping more would differ by platform.
    value.Text = text.substr(0, text.find('\0'));
    return value;
}

} // namespace

void RegistryKey::WriteString(const std::string& name, const std::string& value)
{
    Store(*m_hives, m_hive, m_path, TextValue(name, RegKind::Sz, value));
}

void RegistryKey::WriteExpandString(const std::string& name, const std::string& value)
{
    Store(*m_hives, m_hive, m_path, TextValue(name, RegKind::ExpandSz, value));
}

void RegistryKey::WriteInteger(const std::string& name, std::int32_t value)
{
    RegValue v;
    v.Name = name;
    v.Kind = RegKind::Dword;
    v.Dword = static_cast<std::uint32_t>(value);
    Store(*m_hives, m_hive, m_path, std::move(v));
}

void RegistryKey::WriteBool(const std::string& name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

void RegistryKey::WriteFloat(const std::string& name, double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    std::vector<std::uint8_t> bytes(8);
    for (std::size_t i = 0; i < 8; ++i)
        bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    WriteBinary(name, bytes);
}

void RegistryKey::WriteBinary(const std::string& name, const std::vector<std::uint8_t>& value)
{
    RegValue v;
    v.Name = name;
    v.Kind = RegKind::Binary;
    v.Bytes = value;
    Store(*m_hives, m_hive, m_path, std::move(v));
}

std::optional<std::string> RegistryKey::ReadStringIfPresent(const std::string& name) const
{
    return ValueExists(name) ? std::optional(ReadString(name)) : std::nullopt;
}

std::optional<std::int32_t> RegistryKey::ReadIntegerIfPresent(const std::string& name) const
{
    return ValueExists(name) ? std::optional(ReadInteger(name)) : std::nullopt;
}

std::optional<bool> RegistryKey::ReadBoolIfPresent(const std::string& name) const
{
    return ValueExists(name) ? std::optional(ReadBool(name)) : std::nullopt;
}

std::optional<double> RegistryKey::ReadFloatIfPresent(const std::string& name) const
{
    return ValueExists(name) ? std::optional(ReadFloat(name)) : std::nullopt;
}

std::vector<std::string> RegistryKey::ValueNames() const
{
    return m_hives->ValueNames(m_hive, m_path);
}

RegistryStore::RegistryStore(std::filesystem::path folder)
    : m_hives(std::make_unique<detail::FileHives>(folder, folder))
{}

RegistryStore::RegistryStore(std::filesystem::path machineFolder, std::filesystem::path userFolder)
    : m_hives(std::make_unique<detail::FileHives>(std::move(machineFolder), userFolder))
{}

RegistryStore::RegistryStore(std::unique_ptr<detail::RegistryHives> hives)
    : m_hives(std::move(hives))
{}

RegistryStore RegistryStore::OpenSystemRegistry(const std::string& sandboxKey)
{
    return RegistryStore(detail::MakeSystemRegistryHives(sandboxKey));
}

bool RegistryStore::HasSystemRegistry()
{
    return detail::SystemRegistryExists();
}

RegistryStore::~RegistryStore() = default;
RegistryStore::RegistryStore(RegistryStore&&) noexcept = default;
RegistryStore& RegistryStore::operator=(RegistryStore&&) noexcept = default;

std::filesystem::path RegistryStore::ResolveFolder(const std::string& commandLineDir)
{
    if (!commandLineDir.empty())
        return PathFromUtf8(commandLineDir);
    if (const auto fromEnvironment = EnvironmentText("ORNEL_FTP_REGISTRY_DIR"))
        return PathFromUtf8(*fromEnvironment);
    const auto home = EnvironmentText("HOME");
    if (!home)
        throw std::runtime_error("The settings folder is not known: give --registry-dir, or set "
                                 "ORNEL_FTP_REGISTRY_DIR or HOME");
    return PathFromUtf8(*home) / ".config" / "ornel_ftp";
}

RegistryKey RegistryStore::OpenKey(Hive hive, const std::string& keyPath)
{
    const std::string path = NormaliseKeyPath(keyPath);
    // Without write access the key simply is not created; every value reads as absent.
    [[maybe_unused]] const bool created = m_hives->CreateKey(hive, path);
    return RegistryKey(*m_hives, hive, path);
}

std::filesystem::path RegistryStore::Folder() const
{
    return m_hives->Folder();
}

std::string RegistryStore::Location() const
{
    return m_hives->Location();
}

std::filesystem::path RegistryStore::HiveFile(Hive hive) const
{
    return m_hives->File(hive);
}

RegistryBatch::RegistryBatch(RegistryStore& store, Hive hive)
    : m_hives(store.m_hives.get())
    , m_hive(hive)
{
    m_hives->BeginBatch(hive);
}

RegistryBatch::~RegistryBatch()
{
    if (m_open)
        m_hives->AbortBatch(m_hive);
}

void RegistryBatch::Commit()
{
    if (!m_open)
        return;
    m_open = false;
    m_hives->CommitBatch(m_hive);
}

} // namespace ornel
