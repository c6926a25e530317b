// TFMain: loading the settings, the setters and the proxy settings.
#include "app/TFMain.h"
#include "automation/Monitoring.h"
#include "automation/UnKnOwnWatch.h"
#include "engine/Desktop.h"
#include "engine/ExchangeCycle.h"
#include "engine/FolderLayout.h"
#include "platform/FolderWatcher.h"
#include "platform/PathText.h"
#include "platform/RegistryStore.h"
#include "settings/SecretCipher.h"
#include "settings/SettingsTable.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace ornel
{

namespace
{

// The proxy-mode list of the options dialog, row by row.
constexpr std::array kProxyRows = {
    FtpProxyType::fpcmUserSite,     FtpProxyType::fpcmSite,
    FtpProxyType::fpcmOpen,         FtpProxyType::fpcmUserPass,
    FtpProxyType::fpcmTransparent,  FtpProxyType::fpcmUserHostFireWallID,
    FtpProxyType::fpcmNovellBorder, FtpProxyType::fpcmHttpProxyWithFtp,
    FtpProxyType::fpcmCustomProxy,
};

const char* const kW1 = "Не указан каталог для архивирования входящих зашифрованых сообщений!\r\n"
                        "Укажите данный каталог";
const char* const kW2 = "Не указан каталог для архивирования исходящих зашифрованых сообщений!\r\n"
                        "Укажите данный каталог";

// Empty once leading and trailing blanks and control characters are removed.
bool BlankText(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

std::string WithoutQuotes(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    return text;
}

template <typename T, typename Setter> void IfPresent(const std::optional<T>& value, Setter&& setter)
{
    if (value) {
        setter(*value);
    }
}

} // namespace

void TFMain::LoadSettings()
{
    RegistryKey key = m_frontEnd.registry.OpenKey(Hive::LocalMachine, kOptionsKey);
    auto str = [&](const char* name) { return key.ReadStringIfPresent(name); };
    auto num = [&](const char* name) { return key.ReadIntegerIfPresent(name); };
    auto flag = [&](const char* name) { return key.ReadBoolIfPresent(name); };

    // MonitoringActive starts false and only this one load runs per process.
    IfPresent(str("FtpOut"), [&](const std::string& v) { SetFtpOut(v); });
    IfPresent(str("FtpIn"), [&](const std::string& v) { SetFtpIn(v); });
    IfPresent(str("TempSend"), [&](const std::string& v) { SetTempSend(v); });
    IfPresent(str("TempReciv"), [&](const std::string& v) { SetTempReciv(v); });
    IfPresent(num("Interval"), [&](int v) { SetInterval(v); });
    IfPresent(num("Port"), [&](int v) { SetPort(v); });
    IfPresent(str("User"), [&](const std::string& v) { SetUser(v); });
    IfPresent(str("IP"), [&](const std::string& v) { SetIP(v); });
    IfPresent(flag("Passive"), [&](bool v) { SetPassive(v); });
    IfPresent(str("Password"), [&](const std::string& v) { SetPassword(v); });

    // The proxy values are applied all together or not at all.
    const bool proxyComplete = key.ValueExists("Proxy") && key.ValueExists("ProxyType") &&
                               key.ValueExists("ProxyAdr") && key.ValueExists("ProxyPort") &&
                               key.ValueExists("ProxyUser") && key.ValueExists("ProxyPaswd");
    if (!proxyComplete) {
        ApplyProxySettings(false, 0, "", 0, "", "");
    } else {
        const std::string host = key.ReadString("ProxyAdr");
        const int port = key.ReadInteger("ProxyPort");
        const std::string user = key.ReadString("ProxyUser");
        const std::string password = DecryptSecret(key.ReadString("ProxyPaswd"));
        const int row = key.ReadInteger("ProxyType");
        const bool use = key.ReadBool("Proxy");
        ApplyProxySettings(use, row, host, port, user, password);
    }

    IfPresent(str("ArcSend"), [&](const std::string& v) { SetArcSend(v); });
    if (BlankText(m_layout->ArcSendDayFolder())) {
        m_frontEnd.desktop.ShowMessageBox("Ошибка", kW1, MessageIcon::Error);
    }
    IfPresent(str("ArcReciv"), [&](const std::string& v) { SetArcReciv(v); });
    if (BlankText(m_layout->ArcRecivDayFolder())) {
        m_frontEnd.desktop.ShowMessageBox("Ошибка", kW2, MessageIcon::Error);
    }

    IfPresent(str("ArcSend2"), [&](const std::string& v) { SetArcSend2(v); });
    IfPresent(str("ArcReciv2"), [&](const std::string& v) { SetArcReciv2(v); });
    IfPresent(str("PostBoxOut"), [&](const std::string& v) { SetPostBoxOut(v); });
    IfPresent(str("PostBoxIn"), [&](const std::string& v) { SetPostBoxIn(v); });
    IfPresent(str("UnKnOwn"), [&](const std::string& v) { SetUnKnOwn(v); });
    IfPresent(flag("UnKnOwnMonitoring"), [&](bool v) { SetUnKnOwnMonitoring(v); });
    IfPresent(flag("ERRMonitoring"), [&](bool v) { SetERRMonitoring(v); });
    IfPresent(str("CryptProgNew"), [&](const std::string& v) { SetCryptProgNew(v); });
    IfPresent(str("PIN"), [&](const std::string& v) { SetPIN(DecryptSecret(v)); });
    IfPresent(str("UPIN"), [&](const std::string& v) { SetUPIN(DecryptSecret(v)); });

    IfPresent(str("KodSend"), [&](const std::string& v) { SetKodSend(v); });
    IfPresent(num("WindowType"), [&](int v) { SetWindowType(v); });
    IfPresent(num("Pause"), [&](int v) { SetPause(v); });
    IfPresent(flag("PlaySound"), [&](bool v) { SetPlaySound(v); });
    IfPresent(flag("PlaySoundFTP"), [&](bool v) { SetPlaySoundFTP(v); });
    IfPresent(str("PlayStart"), [&](const std::string& v) { SetPlayStart(v); });
    IfPresent(str("PlayFTP"), [&](const std::string& v) { SetPlayFTP(v); });
    IfPresent(str("PlayERR"), [&](const std::string& v) { SetPlayERR(v); });
    IfPresent(flag("PlaySoundERR"), [&](bool v) { SetPlaySoundERR(v); });
    SetSoundOFF(flag("SoundOFF").value_or(true));

    IfPresent(str("PlayUnkNown"), [&](const std::string& v) { SetPlayUnknown(v); });
    IfPresent(flag("PlaySoundUnkNown"), [&](bool v) { SetPlaySoundUnknown(v); });
    IfPresent(flag("WindowUnkNown"), [&](bool v) { SetWindowUnknown(v); });
    IfPresent(flag("WindowERR"), [&](bool v) { SetWindowERR(v); });
    IfPresent(str("ERRExt"), [&](const std::string& v) { SetERRExt(v); });

    // Only the folder: whether the watcher runs is the monitoring's business.
    m_folderMonitor->SetFolderName(PathFromUtf8(m_settings.PostBoxOut));
    m_cycle->SetConnected(false);
    IfPresent(flag("AutoRun"), [&](bool v) { m_settings.AutoRun = v; });
    SetShowBallonHint(flag("ShowBallonHint").value_or(true));
    SetBallonHintCountLines(num("BallonHintCountLines").value_or(5));
    SetNotUseCrypt(flag("NotUseCrypt").value_or(false));
    // Kept in the store only: a bound of no time (or less) would stop every run at once.
    const std::int32_t cryptTimeout = num("CryptTimeout").value_or(0);
    m_settings.CryptTimeout = cryptTimeout > 0 ? cryptTimeout : FindSetting("CryptTimeout")->Startup.Number;
}

void TFMain::ApplyProxySettings(bool useProxy, int proxyRow, const std::string& host, int port,
                                const std::string& user, const std::string& password)
{
    FtpProxySettings wanted;
    if (useProxy) {
        // A row outside the list (-1 when nothing was chosen) names no scheme: connect
        // directly rather than guess one.
        wanted.ProxyType = proxyRow >= 0 && proxyRow < static_cast<int>(kProxyRows.size())
                               ? kProxyRows[static_cast<std::size_t>(proxyRow)]
                               : FtpProxyType::fpcmNone;
        wanted.Host = host;
        wanted.Port = port;
        wanted.UserName = user;
        wanted.Password = password;
    }
    if (useProxy == m_proxyEnabled && m_ftp.ProxySettings() == wanted) {
        return;
    }
    m_ftp.Disconnect();
    m_proxyEnabled = useProxy;
    m_ftp.SetProxySettings(wanted);
}

std::string TFMain::EncryptSecret(const std::string& text) const
{
    return ornel::EncryptSecret(text);
}

std::string TFMain::DecryptSecret(const std::string& stored) const
{
    return ornel::DecryptSecret(stored);
}

void TFMain::SetIP(const std::string& value)
{
    if (value != m_settings.IP) {
        m_ftp.Disconnect();
    }
    m_settings.IP = value;
}

void TFMain::SetPort(int value)
{
    if (value != m_settings.Port) {
        m_ftp.Disconnect();
    }
    m_settings.Port = value;
}

void TFMain::SetPassive(bool value)
{
    if (value != m_settings.Passive) {
        m_ftp.Disconnect();
    }
    m_settings.Passive = value;
}

void TFMain::SetUser(const std::string& value)
{
    m_settings.User = value;
}

void TFMain::SetPassword(const std::string& value)
{
    m_settings.Password = value;
}

void TFMain::SetInterval(int minutes)
{
    m_monitoring->SetInterval(minutes);
}

void TFMain::SetPause(int seconds)
{
    m_monitoring->SetPause(seconds);
}

void TFMain::SetFtpOut(const std::string& value)
{
    m_settings.FtpOut = value;
    m_layout->SetFtpOut(value);
}

void TFMain::SetFtpIn(const std::string& value)
{
    m_settings.FtpIn = value;
    m_layout->SetFtpIn(value);
}

void TFMain::SetTempSend(const std::string& value)
{
    m_settings.TempSend = value;
    m_layout->SetTempSend(value);
}

void TFMain::SetTempReciv(const std::string& value)
{
    m_settings.TempReciv = value;
    m_layout->SetTempReciv(value);
}

void TFMain::SetArcSend(const std::string& value)
{
    m_settings.ArcSend = value;
    m_layout->SetArcSend(value);
}

void TFMain::SetArcReciv(const std::string& value)
{
    m_settings.ArcReciv = value;
    m_layout->SetArcReciv(value);
}

void TFMain::SetArcSend2(const std::string& value)
{
    m_settings.ArcSend2 = value;
    m_layout->SetArcSend2(value);
}

void TFMain::SetArcReciv2(const std::string& value)
{
    m_settings.ArcReciv2 = value;
    m_layout->SetArcReciv2(value);
}

void TFMain::SetPostBoxOut(const std::string& value)
{
    m_settings.PostBoxOut = value;
    m_folderMonitor->SetActive(false);
    m_folderMonitor->SetFolderName(PathFromUtf8(value));
    m_folderMonitor->SetActive(true);
}

void TFMain::SetPostBoxIn(const std::string& value)
{
    m_settings.PostBoxIn = value;
}

void TFMain::SetUnKnOwn(const std::string& value)
{
    m_settings.UnKnOwn = value;
    m_unknown->SetUnKnOwnFolder(value);
}

void TFMain::SetUnKnOwnMonitoring(bool value)
{
    m_settings.UnKnOwnMonitoring = value;
    m_unknown->SetUnKnOwnMonitoring(value);
}

void TFMain::SetERRMonitoring(bool value)
{
    m_settings.ERRMonitoring = value;
}

void TFMain::SetCryptProgNew(const std::string& value)
{
    m_settings.CryptProgNew = value;
}

void TFMain::SetPIN(const std::string& value)
{
    m_settings.PIN = value;
}

void TFMain::SetUPIN(const std::string& value)
{
    m_settings.UPIN = value;
}

void TFMain::SetKodSend(const std::string& value)
{
    m_settings.KodSend = value;
}

void TFMain::SetWindowType(int value)
{
    m_settings.WindowType = value;
}

void TFMain::SetPlaySound(bool value)
{
    m_settings.PlaySound = value;
}

void TFMain::SetPlaySoundFTP(bool value)
{
    m_settings.PlaySoundFTP = value;
}

void TFMain::SetPlaySoundERR(bool value)
{
    m_settings.PlaySoundERR = value;
}

void TFMain::SetPlaySoundUnknown(bool value)
{
    m_settings.PlaySoundUnknown = value;
}

void TFMain::SetPlayStart(const std::string& value)
{
    m_settings.PlayStart = WithoutQuotes(value);
}

void TFMain::SetPlayFTP(const std::string& value)
{
    m_settings.PlayFTP = WithoutQuotes(value);
}

void TFMain::SetPlayERR(const std::string& value)
{
    m_settings.PlayERR = value;
}

void TFMain::SetPlayUnknown(const std::string& value)
{
    m_settings.PlayUnknown = value;
}

void TFMain::SetSoundOFF(bool value)
{
    m_settings.SoundOFF = value;
}

void TFMain::SetWindowUnknown(bool value)
{
    m_settings.WindowUnknown = value;
}

void TFMain::SetWindowERR(bool value)
{
    m_settings.WindowERR = value;
}

void TFMain::SetERRExt(const std::string& value)
{
    m_settings.ERRExt = value;
}

void TFMain::SetShowBallonHint(bool value)
{
    m_settings.ShowBallonHint = value;
}

void TFMain::SetBallonHintCountLines(int value)
{
    m_settings.BallonHintCountLines = value;
}

void TFMain::SetNotUseCrypt(bool value)
{
    m_settings.NotUseCrypt = value;
}

} // namespace ornel
