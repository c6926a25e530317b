// The settings store on Windows: the system registry itself, so the agent reads what an
// installation already holds. Keys are opened in the 32-bit view (KEY_WOW64_32KEY), where
// the earlier 32-bit program kept HKEY_LOCAL_MACHINE\SOFTWARE\RUX\ORNEL_FTP on 64-bit
// Windows; texts are read and written as UTF-16, which the registry hands to ANSI readers
// in their code page.
#include "platform/RegistryBackEnd.h"
#include "platform/win/WideText.h"

#include <array>
#include <cstring>
#include <cwchar>
#include <stdexcept>
#include <utility>
#include <windows.h>

namespace ornel::detail
{

namespace
{

// A key handle, closed with its owner.
class KeyHandle
{
public:
    KeyHandle() = default;
    explicit KeyHandle(HKEY key)
        : m_key(key)
    {}
    ~KeyHandle()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    KeyHandle(KeyHandle&& other) noexcept
        : m_key(std::exchange(other.m_key, nullptr))
    {}
    KeyHandle& operator=(KeyHandle&&) = delete;
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;

    [[nodiscard]] HKEY Get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }

private:
    HKEY m_key = nullptr;
};

RegValue FromData(const std::string& name, DWORD type, const std::vector<BYTE>& data)
{
    RegValue value;
    value.Name = name;
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        value.Kind = type == REG_SZ ? RegKind::Sz : RegKind::ExpandSz;
        std::wstring text(data.size() / sizeof(wchar_t), L'\0');
        if (!text.empty())
            std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
        // Stored with or without its terminator; a reader stops at the first zero.
        text.resize(std::wcslen(text.c_str()));
        value.Text = win::Utf8(text);
        return value;
    }
    case REG_DWORD:
        if (data.size() == sizeof(DWORD)) {
            value.Kind = RegKind::Dword;
            value.Dword = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
                          static_cast<std::uint32_t>(data[2]) << 16 |
                          static_cast<std::uint32_t>(data[3]) << 24;
            return value;
        }
        break;
    default:
        break;
    }
    // REG_BINARY, and kinds this program never writes (multi-texts, 64-bit numbers): their
    // bytes, so that a reader of another kind fails with "Invalid data type".
    value.Kind = RegKind::Binary;
    value.Bytes.assign(data.begin(), data.end());
    return value;
}

std::pair<DWORD, std::vector<BYTE>> ToData(const RegValue& value)
{
    std::vector<BYTE> data;
    switch (value.Kind) {
    case RegKind::Sz:
    case RegKind::ExpandSz: {
        const std::wstring text = win::Wide(value.Text);
        data.resize((text.size() + 1) * sizeof(wchar_t));
        std::memcpy(data.data(), text.c_str(), data.size());
        return {value.Kind == RegKind::Sz ? REG_SZ : REG_EXPAND_SZ, data};
    }
    case RegKind::Dword:
        for (int shift = 0; shift < 32; shift += 8)
            data.push_back(static_cast<BYTE>(value.Dword >> shift));
        return {REG_DWORD, data};
    case RegKind::Binary:
        data.assign(value.Bytes.begin(), value.Bytes.end());
        return {REG_BINARY, data};
    }
    return {REG_NONE, data};
}

class WinHives final : public RegistryHives
{
public:
    explicit WinHives(const std::string& sandboxKey)
    {
        if (sandboxKey.empty()) {
            m_roots[0] = Root{HKEY_LOCAL_MACHINE, L"", "HKEY_LOCAL_MACHINE"};
            m_roots[1] = Root{HKEY_CURRENT_USER, L"", "HKEY_CURRENT_USER"};
        } else {
            const std::wstring base = win::Wide(sandboxKey) + L"\\";
            m_roots[0] =
                Root{HKEY_CURRENT_USER, base + L"HKEY_LOCAL_MACHINE\\", "HKEY_CURRENT_USER\\" + sandboxKey};
            m_roots[1] =
                Root{HKEY_CURRENT_USER, base + L"HKEY_CURRENT_USER\\", "HKEY_CURRENT_USER\\" + sandboxKey};
        }
    }

    std::optional<RegValue> Value(Hive hive, const std::string& keyPath, const std::string& name) override
    {
        if (const RegValue* pending = Pending(hive, keyPath, name))
            return *pending;
        const KeyHandle key = Open(hive, keyPath, false);
        if (!key)
            return std::nullopt;
        const std::wstring wideName = win::Wide(name);
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        std::vector<BYTE> data(size);
        // Another writer may grow the value between the two calls: ask again with its new size.
        LSTATUS rc = ERROR_MORE_DATA;
        for (int attempt = 0; attempt < 4 && rc == ERROR_MORE_DATA; ++attempt) {
            size = static_cast<DWORD>(data.size());
            rc = RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type, data.data(), &size);
            if (rc == ERROR_MORE_DATA)
                data.resize(size);
        }
        if (rc != ERROR_SUCCESS)
            return std::nullopt;
        data.resize(size);
        return FromData(name, type, data);
    }

    std::vector<std::string> ValueNames(Hive hive, const std::string& keyPath) override
    {
        std::vector<std::string> names;
        if (const KeyHandle key = Open(hive, keyPath, false)) {
            std::wstring name(16384, L'\0'); // the longest value name the registry allows
            for (DWORD index = 0;; ++index) {
                DWORD length = static_cast<DWORD>(name.size());
                const LSTATUS rc =
                    RegEnumValueW(key.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
                if (rc != ERROR_SUCCESS)
                    break;
                names.push_back(win::Utf8(std::wstring_view(name.data(), length)));
            }
        }
        for (const auto& [path, value] : Batch(hive).Values) {
            if (!RegNamesEqual(path, keyPath))
                continue;
            bool known = false;
            for (const auto& name : names)
                known = known || RegNamesEqual(name, value.Name);
            if (!known)
                names.push_back(value.Name);
        }
        return names;
    }

    void SetValue(Hive hive, const std::string& keyPath, const RegValue& value) override
    {
        BatchState& batch = Batch(hive);
        if (batch.Open) {
            if (batch.FirstName.empty())
                batch.FirstName = value.Name;
            for (auto& [path, pending] : batch.Values) {
                if (RegNamesEqual(path, keyPath) && RegNamesEqual(pending.Name, value.Name)) {
                    const std::string spelling = pending.Name;
                    pending = value;
                    pending.Name = spelling;
                    return;
                }
            }
            batch.Values.emplace_back(keyPath, value);
            return;
        }
        Write(hive, keyPath, value);
    }

    bool CreateKey(Hive hive, const std::string& keyPath) override
    {
        return static_cast<bool>(Open(hive, keyPath, true)) || static_cast<bool>(Open(hive, keyPath, false));
    }

    void BeginBatch(Hive hive) override
    {
        BatchState& batch = Batch(hive);
        if (batch.Open)
            throw std::logic_error("A batch is already open on " + RootOf(hive).Name);
        batch = BatchState{};
        batch.Open = true;
    }

    void CommitBatch(Hive hive) override
    {
        BatchState batch = std::exchange(Batch(hive), BatchState{});
        try {
            for (const auto& [path, value] : batch.Values)
                Write(hive, path, value);
        } catch (const std::runtime_error&) {
            ThrowSetDataFailed(batch.FirstName);
        }
    }

    void AbortBatch(Hive hive) override { Batch(hive) = BatchState{}; }

    [[nodiscard]] std::filesystem::path Folder() const override { return {}; }
    [[nodiscard]] std::filesystem::path File(Hive) const override { return {}; }
    [[nodiscard]] std::string Location() const override
    {
        return m_roots[0].Name + "\\SOFTWARE\\RUX\\ORNEL_FTP";
    }

private:
    struct Root
    {
        HKEY Key = nullptr;
        std::wstring Prefix; // the sandbox's key for this hive, with its trailing "\"
        std::string Name;
    };

    struct BatchState
    {
        bool Open = false;
        std::string FirstName;
        std::vector<std::pair<std::string, RegValue>> Values; // key path, value
    };

    const Root& RootOf(Hive hive) const { return m_roots[hive == Hive::LocalMachine ? 0 : 1]; }
    BatchState& Batch(Hive hive) { return m_batches[hive == Hive::LocalMachine ? 0 : 1]; }

    const RegValue* Pending(Hive hive, const std::string& keyPath, const std::string& name)
    {
        for (const auto& [path, value] : Batch(hive).Values) {
            if (RegNamesEqual(path, keyPath) && RegNamesEqual(value.Name, name))
                return &value;
        }
        return nullptr;
    }

    // Open-or-create with write access, or open for reading: what a user without write
    // access to HKEY_LOCAL_MACHINE may still do, so the settings an administrator stored
    // are read.
    KeyHandle Open(Hive hive, const std::string& keyPath, bool forWriting) const
    {
        const Root& root = RootOf(hive);
        const std::wstring path = root.Prefix + win::Wide(keyPath);
        HKEY key = nullptr;
        const LSTATUS rc =
            forWriting ? RegCreateKeyExW(root.Key, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_READ | KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr)
                       : RegOpenKeyExW(root.Key, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key);
        return rc == ERROR_SUCCESS ? KeyHandle(key) : KeyHandle();
    }

    void Write(Hive hive, const std::string& keyPath, const RegValue& value)
    {
        const KeyHandle key = Open(hive, keyPath, true);
        const auto [type, data] = ToData(value);
        if (!key || RegSetValueExW(key.Get(), win::Wide(value.Name).c_str(), 0, type, data.data(),
                                   static_cast<DWORD>(data.size())) != ERROR_SUCCESS)
            ThrowSetDataFailed(value.Name);
    }

    std::array<Root, 2> m_roots;
    std::array<BatchState, 2> m_batches;
};

} // namespace

std::unique_ptr<RegistryHives> MakeSystemRegistryHives(const std::string& sandboxKey)
{
    return std::make_unique<WinHives>(sandboxKey);
}

bool SystemRegistryExists()
{
    return true;
}

} // namespace ornel::detail
