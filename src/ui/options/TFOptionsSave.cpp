// TFOptions: writing the fields to the store and handing them to the controller.
#include "platform/CodePage.h"
#include "platform/RegistryStore.h"
#include "settings/SettingsTable.h"
#include "ui/options/OptionsTarget.h"
#include "ui/options/OptionsWidgets.h"
#include "ui/options/TFOptions.h"
#include "ui/options/TimeField.h"

#include <QCheckBox>
#include <exception>
#include <stdexcept>

namespace ornel
{

using options::ReadField;

void TFOptions::SaveRegBase(RegistryKey& key)
{
    for (QWidget* field : ScheduleFields()) {
        const std::string name = ScheduleName(field);
        if (const auto* box = qobject_cast<const QCheckBox*>(field)) {
            key.WriteBool(name, box->isChecked());
        } else if (const auto* time = qobject_cast<const TimeField*>(field)) {
            key.WriteFloat(name, time->Value());
        }
    }
}

std::map<std::string, OptionsValue> TFOptions::CollectValues() const
{
    std::map<std::string, OptionsValue> values;
    for (const Binding& binding : m_bindings) {
        values.emplace(binding.Name, ReadField(binding.Field));
    }
    return values;
}

void TFOptions::WriteSettings(RegistryKey& key, const std::map<std::string, OptionsValue>& values)
{
    for (const SettingInfo& setting : ConfigurationSettings()) {
        const std::string name(setting.Name);
        // AutoConnect has no field: every save writes it as its default, 0.
        const OptionsValue value =
            setting.Use == StartupUse::NotRead ? DialogDefault(setting) : values.at(name);
        switch (setting.Kind) {
        case SettingKind::Text:
            key.WriteString(name, std::get<std::string>(value));
            break;
        case SettingKind::Secret:
            key.WriteString(name, m_target.EncryptSecret(std::get<std::string>(value)));
            break;
        case SettingKind::Integer:
            key.WriteInteger(name, std::get<int>(value));
            break;
        case SettingKind::Flag:
            key.WriteBool(name, std::get<bool>(value));
            break;
        case SettingKind::Time:
        case SettingKind::Real:
            throw std::logic_error("No dialog field holds " + name);
        }
    }
}

void TFOptions::CheckSecrets(const std::map<std::string, OptionsValue>& values)
{
    // The cipher works on Windows-1251 bytes and turns a text it cannot encode into the
    // empty text: saving that would lose the secret without a word.
    for (const SettingInfo& setting : ConfigurationSettings()) {
        if (setting.Kind == SettingKind::Secret &&
            !IsCp1251Representable(std::get<std::string>(values.at(std::string(setting.Name))))) {
            throw std::runtime_error("Failed to set data for '" + std::string(setting.Name) +
                                     "': the text has characters that Windows-1251 cannot hold");
        }
    }
}

void TFOptions::SaveOptions()
{
    const std::map<std::string, OptionsValue> values = CollectValues();
    CheckSecrets(values);
    RegistryStore& store = m_target.Registry();
    // Opened before the batch: creating the key is not one of the saved values.
    RegistryKey key = store.OpenKey(Hive::LocalMachine, std::string(kConfigurationKey));
    {
        // One replacement of the store for the whole save: a store that cannot be written
        // fails at the first value, FtpOut, and a save is never left half-written.
        RegistryBatch batch(store, Hive::LocalMachine);
        WriteSettings(key, values);
        SaveRegBase(key);
        batch.Commit();
    }
    HandToController(values);
}

void TFOptions::HandToController(const std::map<std::string, OptionsValue>& values)
{
    auto text = [&](const char* name) { return std::get<std::string>(values.at(name)); };
    auto number = [&](const char* name) { return std::get<int>(values.at(name)); };
    auto flag = [&](const char* name) { return std::get<bool>(values.at(name)); };

    // The store holds the new values already; one setter that fails (a post-box folder
    // that cannot be watched) must not keep the others from taking effect. The first
    // error is reported once all of them have run.
    std::exception_ptr firstError;
    auto step = [&](auto&& action) {
        try {
            action();
        } catch (...) {
            if (!firstError) {
                firstError = std::current_exception();
            }
        }
    };
    OptionsTarget& t = m_target;
    step([&] { t.ReloadSchedule(); });
    step([&] { t.SetFtpOut(text("FtpOut")); });
    step([&] { t.SetFtpIn(text("FtpIn")); });
    step([&] { t.SetTempSend(text("TempSend")); });
    step([&] { t.SetTempReciv(text("TempReciv")); });
    step([&] { t.SetInterval(number("Interval")); });
    step([&] { t.SetIP(text("IP")); });
    step([&] { t.SetPort(number("Port")); });
    step([&] { t.SetUser(text("User")); });
    step([&] { t.SetPassword(text("Password")); });
    step([&] { t.SetPostBoxOut(text("PostBoxOut")); });
    step([&] { t.SetPostBoxIn(text("PostBoxIn")); });
    step([&] { t.SetUnKnOwn(text("UnKnOwn")); });
    step([&] { t.SetUnKnOwnMonitoring(flag("UnKnOwnMonitoring")); });
    step([&] { t.SetERRMonitoring(flag("ERRMonitoring")); });
    step([&] { t.SetBallonHintCountLines(number("BallonHintCountLines")); });
    step([&] { t.SetShowBallonHint(flag("ShowBallonHint")); });
    step([&] { t.SetNotUseCrypt(flag("NotUseCrypt")); });
    step([&] { t.SetArcSend(text("ArcSend")); });
    step([&] { t.SetArcReciv(text("ArcReciv")); });
    step([&] { t.SetArcSend2(text("ArcSend2")); });
    step([&] { t.SetArcReciv2(text("ArcReciv2")); });
    step([&] { t.SetCryptProgNew(text("CryptProgNew")); });
    step([&] { t.SetPIN(text("PIN")); });
    step([&] { t.SetUPIN(text("UPIN")); });
    step([&] { t.SetKodSend(text("KodSend")); });
    step([&] { t.SetWindowType(number("WindowType")); });
    step([&] { t.SetPause(number("Pause")); });
    step([&] { t.SetPlaySound(flag("PlaySound")); });
    step([&] { t.SetPlaySoundFTP(flag("PlaySoundFTP")); });
    step([&] { t.SetPlaySoundERR(flag("PlaySoundERR")); });
    step([&] { t.SetPlaySoundUnknown(flag("PlaySoundUnknown")); });
    step([&] { t.SetPlayStart(text("PlayStart")); });
    step([&] { t.SetPlayFTP(text("PlayFTP")); });
    step([&] { t.SetPlayERR(text("PlayERR")); });
    step([&] { t.SetPlayUnknown(text("PlayUnknown")); });
    step([&] { t.SetERRExt(text("ERRExt")); });
    step([&] { t.SetWindowERR(flag("WindowERR")); });
    step([&] { t.SetWindowUnknown(flag("WindowUnknown")); });
    step([&] { t.SetSoundOFF(flag("SoundOFF")); });
    step([&] { t.SetPassive(flag("Passive")); });
    // AutoRun is stored only: the controller keeps its choice until the next start.
    step([&] {
        t.ApplyProxySettings(flag("Proxy"), number("ProxyType"), text("ProxyAdr"), number("ProxyPort"),
                             text("ProxyUser"), text("ProxyPaswd"));
    });
    if (firstError) {
        std::rethrow_exception(firstError);
    }
}

} // namespace ornel
