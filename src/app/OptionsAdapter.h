// The options dialog's view of the controller: forwards the setters, the proxy, the cipher,
// the schedule re-check and the connection test to TFMain, and shows the dialog's boxes on
// the controller's desktop. Created by the tray front end; UI thread only.
#pragma once

#include "ui/options/OptionsTarget.h"

namespace ornel
{

class TFMain;

class OptionsAdapter final : public OptionsTarget
{
public:
    explicit OptionsAdapter(TFMain& main);

    RegistryStore& Registry() override;
    [[nodiscard]] std::string EncryptSecret(const std::string& text) const override;
    [[nodiscard]] std::string DecryptSecret(const std::string& stored) const override;

    void SetFtpOut(const std::string& value) override;
    void SetFtpIn(const std::string& value) override;
    void SetTempSend(const std::string& value) override;
    void SetTempReciv(const std::string& value) override;
    void SetInterval(int minutes) override;
    void SetIP(const std::string& value) override;
    void SetPort(int value) override;
    void SetUser(const std::string& value) override;
    void SetPassword(const std::string& value) override;
    void SetPostBoxOut(const std::string& value) override;
    void SetPostBoxIn(const std::string& value) override;
    void SetUnKnOwn(const std::string& value) override;
    void SetUnKnOwnMonitoring(bool value) override;
    void SetERRMonitoring(bool value) override;
    void SetBallonHintCountLines(int value) override;
    void SetShowBallonHint(bool value) override;
    void SetNotUseCrypt(bool value) override;
    void SetArcSend(const std::string& value) override;
    void SetArcReciv(const std::string& value) override;
    void SetArcSend2(const std::string& value) override;
    void SetArcReciv2(const std::string& value) override;
    void SetCryptProgNew(const std::string& value) override;
    void SetPIN(const std::string& value) override;
    void SetUPIN(const std::string& value) override;
    void SetKodSend(const std::string& value) override;
    void SetWindowType(int value) override;
    void SetPause(int seconds) override;
    void SetPlaySound(bool value) override;
    void SetPlaySoundFTP(bool value) override;
    void SetPlaySoundERR(bool value) override;
    void SetPlaySoundUnknown(bool value) override;
    void SetPlayStart(const std::string& value) override;
    void SetPlayFTP(const std::string& value) override;
    void SetPlayERR(const std::string& value) override;
    void SetPlayUnknown(const std::string& value) override;
    void SetERRExt(const std::string& value) override;
    void SetWindowERR(bool value) override;
    void SetWindowUnknown(bool value) override;
    void SetSoundOFF(bool value) override;
    void SetPassive(bool value) override;

    void ApplyProxySettings(bool useProxy, int proxyRow, const std::string& host, int port,
                            const std::string& user, const std::string& password) override;
    void ReloadSchedule() override;
    [[nodiscard]] bool IsConnected() const override;
    void ConnectFtp() override;
    void DisconnectFtp() override;
    void ShowInformation(const std::string& caption, const std::string& text) override;
    void ReportError(const std::string& message) override;

private:
    TFMain& m_main;
};

} // namespace ornel
