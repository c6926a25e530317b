// What the settings store keeps its values in: the `.reg` files of the file store, or the
// system's registry on Windows. Private to RegistryStore and its back ends; the store's
// thread rules apply.
#pragma once

#include "platform/RegFile.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ornel::detail
{

class RegistryHives
{
public:
    virtual ~RegistryHives() = default;

    // The value as stored (a batch's pending writes included); nothing when it is absent.
    [[nodiscard]] virtual std::optional<RegValue> Value(Hive hive, const std::string& keyPath,
                                                        const std::string& name) = 0;
    // Names as stored, in stored order; empty when the key is missing.
    [[nodiscard]] virtual std::vector<std::string> ValueNames(Hive hive, const std::string& keyPath) = 0;
    // Writes one value, keeping the spelling of a name already there. Throws
    // "Failed to set data for '%s'".
    virtual void SetValue(Hive hive, const std::string& keyPath, const RegValue& value) = 0;
    // Open-or-create; false when the key is missing and cannot be created (no write
    // access). A store that cannot even be read throws with its own message (a damaged file).
    virtual bool CreateKey(Hive hive, const std::string& keyPath) = 0;

    virtual void BeginBatch(Hive hive) = 0;
    // Throws "Failed to set data for '%s'" naming the first value of the batch.
    virtual void CommitBatch(Hive hive) = 0;
    virtual void AbortBatch(Hive hive) = 0;

    // The machine-wide folder and the hive files of a file store; empty for the registry.
    [[nodiscard]] virtual std::filesystem::path Folder() const = 0;
    [[nodiscard]] virtual std::filesystem::path File(Hive hive) const = 0;
    // Where the values are, in words: a folder, or the registry's keys.
    [[nodiscard]] virtual std::string Location() const = 0;
};

[[noreturn]] void ThrowSetDataFailed(const std::string& name);

// The registry back end of the platform; throws std::runtime_error where there is none.
// `sandboxKey`, when given, is a key under HKEY_CURRENT_USER that stands in for both hives.
[[nodiscard]] std::unique_ptr<RegistryHives> MakeSystemRegistryHives(const std::string& sandboxKey);
[[nodiscard]] bool SystemRegistryExists();

} // namespace ornel::detail
