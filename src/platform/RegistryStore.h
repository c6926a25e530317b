// The typed settings store: the system registry on Windows, or one `.reg`-syntax UTF-8 text
// file behind our own mark per hive in a store folder. Owned by the application; UI thread
// (one store object per process; other processes may use the same store at the same time).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ornel
{

enum class Hive
{
    LocalMachine, // "HKEY_LOCAL_MACHINE": configuration and counters
    CurrentUser,  // "HKEY_CURRENT_USER": per-user window placement
};

enum class RegKind
{
    Sz,
    ExpandSz,
    Dword,
    Binary,
};

struct RegDataInfo
{
    RegKind Kind;
    std::size_t Size; // bytes, as the registry would report (REG_SZ counts the terminator)
};

namespace detail
{
class RegistryHives;
}

class RegistryStore;

// An opened key (created when missing). Value names are matched case-insensitively.
// Readers throw std::runtime_error "Invalid data type for '%s'" / "Failed to get data for
// '%s'" (a missing value gives the latter); writers "Failed to set data for '%s'". A
// settings file that cannot be read or parsed throws an error naming the file and line.
// The size of the data is checked before its type, as the registry does: a text of four
// or more characters read as an integer fails with "Failed to get data", a shorter one
// with "Invalid data type". A read parses the file only when it changed since the last one
// (one stat otherwise). A text or name that is not UTF-8, or a name with a line break, is
// refused on writing. A key must not outlive its store.
class RegistryKey
{
public:
    [[nodiscard]] bool ValueExists(const std::string& name) const;
    [[nodiscard]] std::optional<RegDataInfo> GetDataInfo(const std::string& name) const;
    [[nodiscard]] std::string ReadString(const std::string& name) const;   // Sz or ExpandSz
    [[nodiscard]] std::int32_t ReadInteger(const std::string& name) const; // Dword
    [[nodiscard]] bool ReadBool(const std::string& name) const;            // Dword, non-zero = on
    [[nodiscard]] double ReadFloat(const std::string& name) const;         // 8-byte Binary double
    [[nodiscard]] std::vector<std::uint8_t> ReadBinary(const std::string& name) const;
    void WriteString(const std::string& name, const std::string& value);
    void WriteExpandString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, std::int32_t value);
    void WriteBool(const std::string& name, bool value);
    void WriteFloat(const std::string& name, double value);
    void WriteBinary(const std::string& name, const std::vector<std::uint8_t>& value);

    // "If present, read": std::nullopt when the value is absent; otherwise exactly the
    // reader above, errors included.
    [[nodiscard]] std::optional<std::string> ReadStringIfPresent(const std::string& name) const;
    [[nodiscard]] std::optional<std::int32_t> ReadIntegerIfPresent(const std::string& name) const;
    [[nodiscard]] std::optional<bool> ReadBoolIfPresent(const std::string& name) const;
    [[nodiscard]] std::optional<double> ReadFloatIfPresent(const std::string& name) const;

    // Names of the values held, spelled as stored, in stored order.
    [[nodiscard]] std::vector<std::string> ValueNames() const;
    [[nodiscard]] Hive KeyHive() const { return m_hive; }
    [[nodiscard]] const std::string& KeyPath() const { return m_path; }

private:
    friend class RegistryStore;
    RegistryKey(detail::RegistryHives& hives, Hive hive, std::string path);

    detail::RegistryHives* m_hives;
    Hive m_hive;
    std::string m_path; // "SOFTWARE\\RUX\\ORNEL_FTP\\Options", no leading or trailing "\"
};

class RegistryStore
{
public:
    // The file store, both hives in one folder.
    explicit RegistryStore(std::filesystem::path folder);
    // HKEY_LOCAL_MACHINE (hklm.reg and the store's lock files) in `machineFolder`,
    // HKEY_CURRENT_USER (hkcu.reg) in `userFolder`.
    RegistryStore(std::filesystem::path machineFolder, std::filesystem::path userFolder);
    // The system registry: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, in the view a 32-bit
    // program has on 64-bit Windows (where the earlier installations keep these keys). A
    // `sandboxKey` (tests) is a key under HKEY_CURRENT_USER that stands in for both hives.
    // Throws std::runtime_error on a platform without one.
    [[nodiscard]] static RegistryStore OpenSystemRegistry(const std::string& sandboxKey = {});
    [[nodiscard]] static bool HasSystemRegistry();
    ~RegistryStore();
    RegistryStore(RegistryStore&&) noexcept;
    RegistryStore& operator=(RegistryStore&&) noexcept;

    // --registry-dir, else ORNEL_FTP_REGISTRY_DIR, else ~/.config/ornel_ftp
    [[nodiscard]] static std::filesystem::path ResolveFolder(const std::string& commandLineDir);
    // Open-or-create; key paths as "SOFTWARE\\RUX\\ORNEL_FTP\\Options" (leading "\" ignored).
    // When the key cannot be created (the folder is not writable) the key still opens and
    // every value reads as absent, as the registry does without write access.
    [[nodiscard]] RegistryKey OpenKey(Hive hive, const std::string& keyPath);

    // The machine-wide folder of a file store; empty for the system registry.
    [[nodiscard]] std::filesystem::path Folder() const;
    // hklm.reg / hkcu.reg, each in its hive's folder; empty for the system registry.
    [[nodiscard]] std::filesystem::path HiveFile(Hive hive) const;
    // Where the values are, for messages: the folder, or the registry key.
    [[nodiscard]] std::string Location() const;

private:
    friend class RegistryBatch;
    explicit RegistryStore(std::unique_ptr<detail::RegistryHives> hives);
    std::unique_ptr<detail::RegistryHives> m_hives;
};

// Gathers every write to one hive into a single replacement of its file, so a save of many
// values costs one file write and other processes see all of them or none. Holds the
// hive's lock from construction to Commit() or destruction; destroyed without Commit(),
// the writes are dropped. Writes through any key of that hive join the batch, and reads
// see them. The system registry writes the values one by one at Commit() (each value on
// its own is replaced whole).
class RegistryBatch
{
public:
    RegistryBatch(RegistryStore& store, Hive hive);
    ~RegistryBatch();
    RegistryBatch(const RegistryBatch&) = delete;
    RegistryBatch& operator=(const RegistryBatch&) = delete;

    // Throws "Failed to set data for '%s'" naming the first value written in the batch.
    void Commit();

private:
    detail::RegistryHives* m_hives;
    Hive m_hive;
    bool m_open = true;
};

} // namespace ornel
