#include "settings/RegExchange.h"

#include "platform/AtomicFile.h"
#include "platform/FileSnapshot.h"
#include "platform/PathText.h"
#include "platform/RegFile.h"
#include "settings/SettingsTable.h"

#include <stdexcept>

namespace ornel
{

namespace
{

const std::string kRoot = "HKEY_LOCAL_MACHINE";

std::string Stripped(std::string_view keyPath)
{
    return std::string(keyPath.substr(1)); // the table's paths start with "\"
}

RegValue ValueFromStore(const RegistryKey& key, const std::string& name)
{
    RegValue value;
    value.Name = name;
    const RegDataInfo info = *key.GetDataInfo(name);
    value.Kind = info.Kind;
    switch (info.Kind) {
    case RegKind::Sz:
    case RegKind::ExpandSz:
        value.Text = key.ReadString(name);
        break;
    case RegKind::Dword:
        value.Dword = static_cast<std::uint32_t>(key.ReadInteger(name));
        break;
    case RegKind::Binary:
        value.Bytes = key.ReadBinary(name);
        break;
    }
    return value;
}

RegKeyBlock BlockFromStore(RegistryStore& store, std::string_view keyPath)
{
    const RegistryKey key = store.OpenKey(Hive::LocalMachine, std::string(keyPath));
    RegKeyBlock block{kRoot + "\\" + Stripped(keyPath), {}};
    for (const std::string& name : key.ValueNames())
        block.Values.push_back(ValueFromStore(key, name));
    return block;
}

bool KindFits(SettingKind kind, const RegValue& value)
{
    switch (kind) {
    case SettingKind::Text:
    case SettingKind::Secret:
        return value.Kind == RegKind::Sz || value.Kind == RegKind::ExpandSz;
    case SettingKind::Integer:
    case SettingKind::Flag:
        return value.Kind == RegKind::Dword;
    case SettingKind::Time:
    case SettingKind::Real:
        return value.Kind == RegKind::Binary && value.Bytes.size() == 8;
    }
    return false;
}

std::string At(const std::filesystem::path& file, int line)
{
    return PathToUtf8(file) + ", line " + std::to_string(line) + ": ";
}

// A 32-bit program on 64-bit Windows keeps its machine-wide keys under WOW6432Node, and
// that is where regedit exports them from. When a file holds both, the normal key is taken
// whole and the other skipped whole, never mixed value by value.
const RegKeyBlock* FindEither(const RegDocument& document, std::string_view keyPath,
                              const std::filesystem::path& file, ImportReport& report)
{
    const std::string path = Stripped(keyPath); // "SOFTWARE\\RUX\\..."
    const RegKeyBlock* normal = FindRegKey(document, kRoot + "\\" + path);
    const RegKeyBlock* wow =
        FindRegKey(document, kRoot + "\\SOFTWARE\\WOW6432Node" + path.substr(std::string("SOFTWARE").size()));
    if (normal && wow)
        report.Notices.push_back(At(file, wow->Line) + "[" + wow->Path + "] is skipped: [" + normal->Path +
                                 "] at line " + std::to_string(normal->Line) + " is imported instead");
    return normal ? normal : wow;
}

struct PendingValue
{
    const SettingInfo* Info;
    const RegValue* Value;
};

[[noreturn]] void WrongKind(const std::filesystem::path& file, const SettingInfo& info, const RegValue& value)
{
    std::string message = At(file, value.Line) + "Invalid data type for '" + value.Name + "'";
    if ((info.Kind == SettingKind::Time || info.Kind == SettingKind::Real) && value.Kind == RegKind::Binary)
        message += ": eight bytes expected, " + std::to_string(value.Bytes.size()) + " given";
    throw std::runtime_error(message);
}

std::vector<PendingValue> Select(const RegKeyBlock* block, const SettingInfo* (*find)(std::string_view),
                                 const std::filesystem::path& file, ImportReport& report)
{
    std::vector<PendingValue> pending;
    if (!block)
        return pending;
    for (const RegValue& value : block->Values) {
        const SettingInfo* info = find(value.Name);
        if (!info) {
            report.Skipped.push_back(value.Name);
            continue;
        }
        if (!KindFits(info->Kind, value))
            WrongKind(file, *info, value);
        pending.push_back({info, &value});
    }
    return pending;
}

void Write(RegistryKey& key, const PendingValue& item)
{
    const std::string name(item.Info->Name); // the spelling the program writes
    const RegValue& value = *item.Value;
    switch (value.Kind) {
    case RegKind::Sz:
        key.WriteString(name, value.Text);
        break;
    case RegKind::ExpandSz:
        key.WriteExpandString(name, value.Text);
        break;
    case RegKind::Dword:
        key.WriteInteger(name, static_cast<std::int32_t>(value.Dword));
        break;
    case RegKind::Binary:
        key.WriteBinary(name, value.Bytes);
        break;
    }
}

} // namespace

void ExportRegistry(RegistryStore& store, const std::filesystem::path& file)
{
    RegDocument document;
    document.Keys.push_back(BlockFromStore(store, kCounterKey));
    document.Keys.push_back(BlockFromStore(store, kConfigurationKey));
    ReplaceFileAtomically(file, SerializeRegFile(document, LineEnd::CrLf));
}

ImportReport ImportRegistry(RegistryStore& store, const std::filesystem::path& file)
{
    const std::optional<std::string> content = ReadWholeFile(file, kMaxRegFileSize);
    if (!content)
        throw std::runtime_error("Файл не найден: " + PathToUtf8(file));
    const RegDocument document = ParseRegFile(*content, PathToUtf8(file), RegFileRole::Import);

    ImportReport report;
    report.Notices = document.Notices;
    const RegKeyBlock* options = FindEither(document, kConfigurationKey, file, report);
    const RegKeyBlock* counters = FindEither(document, kCounterKey, file, report);
    if (!options && !counters)
        throw std::runtime_error("В файле " + PathToUtf8(file) + " нет раздела HKEY_LOCAL_MACHINE\\" +
                                 Stripped(kConfigurationKey));

    const std::vector<PendingValue> settings = Select(options, &FindSetting, file, report);
    const std::vector<PendingValue> totals = Select(counters, &FindCounter, file, report);

    RegistryBatch batch(store, Hive::LocalMachine);
    RegistryKey optionsKey = store.OpenKey(Hive::LocalMachine, std::string(kConfigurationKey));
    RegistryKey counterKey = store.OpenKey(Hive::LocalMachine, std::string(kCounterKey));
    for (const PendingValue& item : settings)
        Write(optionsKey, item);
    for (const PendingValue& item : totals)
        Write(counterKey, item);
    batch.Commit();
    report.Imported = static_cast<int>(settings.size() + totals.size());
    return report;
}

} // namespace ornel
