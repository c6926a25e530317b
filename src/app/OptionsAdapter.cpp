#include "app/OptionsAdapter.h"

#include "app/TFMain.h"
#include "automation/Schedule.h"
#include "engine/Desktop.h"

namespace ornel
{

OptionsAdapter::OptionsAdapter(TFMain& main)
    : m_main(main)
{}

RegistryStore& OptionsAdapter::Registry()
{
    return m_main.Registry();
}

std::string OptionsAdapter::EncryptSecret(const std::string& text) const
{
    return m_main.EncryptSecret(text);
}

std::string OptionsAdapter::DecryptSecret(const std::string& stored) const
{
    return m_main.DecryptSecret(stored);
}

void OptionsAdapter::SetFtpOut(const std::string& value)
{
    m_main.SetFtpOut(value);
}

void OptionsAdapter::SetFtpIn(const std::string& value)
{
    m_main.SetFtpIn(value);
}

void OptionsAdapter::SetTempSend(const std::string& value)
{
    m_main.SetTempSend(value);
}

void OptionsAdapter::SetTempReciv(const std::string& value)
{
    m_main.SetTempReciv(value);
}

void OptionsAdapter::SetInterval(int minutes)
{
    m_main.SetInterval(minutes);
}

void OptionsAdapter::SetIP(const std::string& value)
{
    m_main.SetIP(value);
}

void OptionsAdapter::SetPort(int value)
{
    m_main.SetPort(value);
}

void OptionsAdapter::SetUser(const std::string& value)
{
    m_main.SetUser(value);
}

void OptionsAdapter::SetPassword(const std::string& value)
{
    m_main.SetPassword(value);
}

void OptionsAdapter::SetPostBoxOut(const std::string& value)
{
    m_main.SetPostBoxOut(value);
}

void OptionsAdapter::SetPostBoxIn(const std::string& value)
{
    m_main.SetPostBoxIn(value);
}

void OptionsAdapter::SetUnKnOwn(const std::string& value)
{
    m_main.SetUnKnOwn(value);
}

void OptionsAdapter::SetUnKnOwnMonitoring(bool value)
{
    m_main.SetUnKnOwnMonitoring(value);
}

void OptionsAdapter::SetERRMonitoring(bool value)
{
    m_main.SetERRMonitoring(value);
}

void OptionsAdapter::SetBallonHintCountLines(int value)
{
    m_main.SetBallonHintCountLines(value);
}

void OptionsAdapter::SetShowBallonHint(bool value)
{
    m_main.SetShowBallonHint(value);
}

void OptionsAdapter::SetNotUseCrypt(bool value)
{
    m_main.SetNotUseCrypt(value);
}

void OptionsAdapter::SetArcSend(const std::string& value)
{
    m_main.SetArcSend(value);
}

void OptionsAdapter::SetArcReciv(const std::string& value)
{
    m_main.SetArcReciv(value);
}

void OptionsAdapter::SetArcSend2(const std::string& value)
{
    m_main.SetArcSend2(value);
}

void OptionsAdapter::SetArcReciv2(const std::string& value)
{
    m_main.SetArcReciv2(value);
}

void OptionsAdapter::SetCryptProgNew(const std::string& value)
{
    m_main.SetCryptProgNew(value);
}

void OptionsAdapter::SetPIN(const std::string& value)
{
    m_main.SetPIN(value);
}

void OptionsAdapter::SetUPIN(const std::string& value)
{
    m_main.SetUPIN(value);
}

void OptionsAdapter::SetKodSend(const std::string& value)
{
    m_main.SetKodSend(value);
}

void OptionsAdapter::SetWindowType(int value)
{
    m_main.SetWindowType(value);
}

void OptionsAdapter::SetPause(int seconds)
{
    m_main.SetPause(seconds);
}

void OptionsAdapter::SetPlaySound(bool value)
{
    m_main.SetPlaySound(value);
}

void OptionsAdapter::SetPlaySoundFTP(bool value)
{
    m_main.SetPlaySoundFTP(value);
}

void OptionsAdapter::SetPlaySoundERR(bool value)
{
    m_main.SetPlaySoundERR(value);
}

void OptionsAdapter::SetPlaySoundUnknown(bool value)
{
    m_main.SetPlaySoundUnknown(value);
}

void OptionsAdapter::SetPlayStart(const std::string& value)
{
    m_main.SetPlayStart(value);
}

void OptionsAdapter::SetPlayFTP(const std::string& value)
{
    m_main.SetPlayFTP(value);
}

void OptionsAdapter::SetPlayERR(const std::string& value)
{
    m_main.SetPlayERR(value);
}

void OptionsAdapter::SetPlayUnknown(const std::string& value)
{
    m_main.SetPlayUnknown(value);
}

void OptionsAdapter::SetERRExt(const std::string& value)
{
    m_main.SetERRExt(value);
}

void OptionsAdapter::SetWindowERR(bool value)
{
    m_main.SetWindowERR(value);
}

void OptionsAdapter::SetWindowUnknown(bool value)
{
    m_main.SetWindowUnknown(value);
}

void OptionsAdapter::SetSoundOFF(bool value)
{
    m_main.SetSoundOFF(value);
}

void OptionsAdapter::SetPassive(bool value)
{
    m_main.SetPassive(value);
}

void OptionsAdapter::ApplyProxySettings(bool useProxy, int proxyRow, const std::string& host, int port,
                                        const std::string& user, const std::string& password)
{
    m_main.ApplyProxySettings(useProxy, proxyRow, host, port, user, password);
}

void OptionsAdapter::ReloadSchedule()
{
    m_main.WorkSchedule().ReloadAfterSave();
}

bool OptionsAdapter::IsConnected() const
{
    // A cycle holds the client from its start, before it has connected.
    return m_main.IsConnected() || m_main.CycleRunning();
}

void OptionsAdapter::ConnectFtp()
{
    m_main.ConnectFtp();
}

void OptionsAdapter::DisconnectFtp()
{
    m_main.Ftp().Disconnect();
}

void OptionsAdapter::ShowInformation(const std::string& caption, const std::string& text)
{
    m_main.DesktopView().ShowMessageBox(caption, text, MessageIcon::Information);
}

void OptionsAdapter::ReportError(const std::string& message)
{
    // As the tray application reports every error that no handler catches.
    m_main.DesktopView().ShowMessageBox(TFMain::kApplicationTitle, message, MessageIcon::Error);
}

} // namespace ornel
