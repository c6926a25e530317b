// What the options dialog needs from the controller: the store, the secret cipher, the
// setters, the proxy, the schedule re-check, the connection test and the error report.
// Implemented over the controller by the application; called on the UI thread only.
#pragma once

#include <string>

namespace ornel
{

class RegistryStore;

class OptionsTarget
{
public:
    virtual ~OptionsTarget() = default;

    [[nodiscard]] virtual RegistryStore& Registry() = 0;
    [[nodiscard]] virtual std::string EncryptSecret(const std::string& text) const = 0;
    [[nodiscard]] virtual std::string DecryptSecret(const std::string& stored) const = 0;

    virtual void SetFtpOut(const std::string& value) = 0;
    virtual void SetFtpIn(const std::string& value) = 0;
    virtual void SetTempSend(const std::string& value) = 0;
    virtual void SetTempReciv(const std::string& value) = 0;
    virtual void SetInterval(int minutes) = 0;
    virtual void SetIP(const std::string& value) = 0;
    virtual void SetPort(int value) = 0;
    virtual void SetUser(const std::string& value) = 0;
    virtual void SetPassword(const std::string& value) = 0;
    virtual void SetPostBoxOut(const std::string& value) = 0;
    virtual void SetPostBoxIn(const std::string& value) = 0;
    virtual void SetUnKnOwn(const std::string& value) = 0;
    virtual void SetUnKnOwnMonitoring(bool value) = 0;
    virtual void SetERRMonitoring(bool value) = 0;
    virtual void SetBallonHintCountLines(int value) = 0;
    virtual void SetShowBallonHint(bool value) = 0;
    virtual void SetNotUseCrypt(bool value) = 0;
    virtual void SetArcSend(const std::string& value) = 0;
    virtual void SetArcReciv(const std::string& value) = 0;
    virtual void SetArcSend2(const std::string& value) = 0;
    virtual void SetArcReciv2(const std::string& value) = 0;
    virtual void SetCryptProgNew(const std::string& value) = 0;
    virtual void SetPIN(const std::string& value) = 0;
    virtual void SetUPIN(const std::string& value) = 0;
    virtual void SetKodSend(const std::string& value) = 0;
    virtual void SetWindowType(int value) = 0;
    virtual void SetPause(int seconds) = 0;
    virtual void SetPlaySound(bool value) = 0;
    virtual void SetPlaySoundFTP(bool value) = 0;
    virtual void SetPlaySoundERR(bool value) = 0;
    virtual void SetPlaySoundUnknown(bool value) = 0;
    virtual void SetPlayStart(const std::string& value) = 0;
    virtual void SetPlayFTP(const std::string& value) = 0;
    virtual void SetPlayERR(const std::string& value) = 0;
    virtual void SetPlayUnknown(const std::string& value) = 0;
    virtual void SetERRExt(const std::string& value) = 0;
    virtual void SetWindowERR(bool value) = 0;
    virtual void SetWindowUnknown(bool value) = 0;
    virtual void SetSoundOFF(bool value) = 0;
    virtual void SetPassive(bool value) = 0;

    virtual void ApplyProxySettings(bool useProxy, int proxyRow, const std::string& host, int port,
                                    const std::string& user, const std::string& password) = 0;

    // The schedule was saved: Timer4 stopped, the window read again now (ScheduleReadAt 0,
    // CheckSchedule), Timer4 running again afterwards, also when the check throws.
    virtual void ReloadSchedule() = 0;

    // The connection test: true while a cycle holds the connection.
    [[nodiscard]] virtual bool IsConnected() const = 0;
    // Connects with the settings in force in the controller; throws the client's error.
    virtual void ConnectFtp() = 0;
    virtual void DisconnectFtp() = 0;

    // A modal box with the information icon and one OK button.
    virtual void ShowInformation(const std::string& caption, const std::string& text) = 0;
    // The program's general error report for an error the dialog did not handle.
    virtual void ReportError(const std::string& message) = 0;
};

} // namespace ornel
