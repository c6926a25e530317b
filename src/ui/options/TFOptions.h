// The options dialog "Настройки": edits the configuration in the store, saves it and the
// weekly schedule, and hands the new values to the controller. Created for each showing
// by OpenOptions and released after it; UI thread only.
#pragma once

#include "ui/options/OptionsWidgets.h"

#include <QDialog>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QPushButton;

namespace ornel
{

class ArchiveTab;
class EncodingTab;
class ExtraTab;
class FtpTab;
class MultiRowTabs;
class MonitoringTab;
class OptionsTarget;
class PostBoxTab;
class ProxyTab;
class RegistryKey;
class ScheduleTab;
class TempFoldersTab;
struct SettingInfo;

class TFOptions final : public QDialog
{
    Q_OBJECT

public:
    static constexpr const char* kObjectName = "FOptions";
    static constexpr const char* kInvalidInput = "Invalid input value.  Use escape key to abandon changes";
    static constexpr int kClientWidth = 400;
    static constexpr int kClientHeight = 422;

    explicit TFOptions(OptionsTarget& target, QWidget* parent = nullptr);
    ~TFOptions() override;

    // The tray's "Настройки": shows the dialog modally unless one is open already, and
    // releases it once closed. Errors of the dialog itself go to the target's report.
    static void OpenOptions(OptionsTarget& target);

    // Fills the fields from the store; a value of the wrong kind ends the load there and
    // throws the store's error.
    void LoadOptions();
    // Writes every field, the schedule, re-checks the schedule and hands the values to the
    // controller. Throws the store's error when the store cannot be written: nothing is
    // then written or applied.
    void SaveOptions();
    void LoadRegBase(const RegistryKey& key);
    void SaveRegBase(RegistryKey& key);
    void CBProxyClick();
    // "Проверка": the connection test with the settings in force in the controller.
    void CheckConnection();
    // Enter (13) acts as "Сохранить", Escape (27) as "Отмена"; other keys go on to the
    // field. Returns whether the key was taken.
    bool FormKeyPress(int key);

    MultiRowTabs* PageControl;
    FtpTab* TabFtp;
    TempFoldersTab* TabTemp;
    ArchiveTab* TabArchive;
    PostBoxTab* TabPostBox;
    MonitoringTab* TabMonitoring;
    EncodingTab* TabEncoding;
    ScheduleTab* TabSchedule;
    ProxyTab* TabProxy;
    ExtraTab* TabExtra;
    QPushButton* BApply;  // "Применить"
    QPushButton* BSave;   // "Сохранить"
    QPushButton* BCancel; // "Отмена"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Binding
    {
        std::string Name;
        QWidget* Field;
    };

    void BindFields();
    void ShowDefaults();
    [[nodiscard]] static OptionsValue DialogDefault(const SettingInfo& setting);
    [[nodiscard]] std::optional<OptionsValue> ReadStored(const RegistryKey& key,
                                                         const SettingInfo& setting) const;
    [[nodiscard]] std::vector<QWidget*> ScheduleFields() const;
    [[nodiscard]] static std::string ScheduleName(const QWidget* field);
    static void CheckSecrets(const std::map<std::string, OptionsValue>& values);
    [[nodiscard]] QWidget* FieldOf(const std::string& name) const;
    [[nodiscard]] std::map<std::string, OptionsValue> CollectValues() const;
    void WriteSettings(RegistryKey& key, const std::map<std::string, OptionsValue>& values);
    void HandToController(const std::map<std::string, OptionsValue>& values);

    void ApplyClick();
    void SaveClick();
    // False, after the beep and the message, when an edited masked field is not complete.
    bool MaskedFieldsComplete();
    void FocusChanged(QWidget* old, QWidget* now);
    void RefuseLeaving(QWidget* field);
    void Report(const std::exception& error);

    OptionsTarget& m_target;
    std::vector<Binding> m_bindings;
    bool m_loaded = false;
    bool m_refusing = false;
};

} // namespace ornel
