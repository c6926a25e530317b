// An options target for the dialog's tests: a real store in a folder, the real secret
// cipher, and a record of every call the dialog makes, in order ("SetPort=21",
// "ReloadSchedule", "Proxy=0,-1,,80,,"). Single-threaded.
#pragma once

#include "platform/RegistryStore.h"
#include "ui/options/OptionsTarget.h"

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace ornel::test
{

class FakeOptionsTarget final : public OptionsTarget
{
public:
    explicit FakeOptionsTarget(const std::filesystem::path& registryFolder);

    RegistryStore& Registry() override { return m_store; }
    [[nodiscard]] std::string EncryptSecret(const std::string& text) const override;
    [[nodiscard]] std::string DecryptSecret(const std::string& stored) const override;

    void SetFtpOut(const std::string& v) override { Record("FtpOut", v); }
    void SetFtpIn(const std::string& v) override { Record("FtpIn", v); }
    void SetTempSend(const std::string& v) override { Record("TempSend", v); }
    void SetTempReciv(const std::string& v) override { Record("TempReciv", v); }
    void SetInterval(int v) override { Record("Interval", v); }
    void SetIP(const std::string& v) override { Record("IP", v); }
    void SetPort(int v) override { Record("Port", v); }
    void SetUser(const std::string& v) override { Record("User", v); }
    void SetPassword(const std::string& v) override { Record("Password", v); }
    void SetPostBoxOut(const std::string& v) override { Record("PostBoxOut", v); }
    void SetPostBoxIn(const std::string& v) override { Record("PostBoxIn", v); }
    void SetUnKnOwn(const std::string& v) override { Record("UnKnOwn", v); }
    void SetUnKnOwnMonitoring(bool v) override { Record("UnKnOwnMonitoring", v); }
    void SetERRMonitoring(bool v) override { Record("ERRMonitoring", v); }
    void SetBallonHintCountLines(int v) override { Record("BallonHintCountLines", v); }
    void SetShowBallonHint(bool v) override { Record("ShowBallonHint", v); }
    void SetNotUseCrypt(bool v) override { Record("NotUseCrypt", v); }
    void SetArcSend(const std::string& v) override { Record("ArcSend", v); }
    void SetArcReciv(const std::string& v) override { Record("ArcReciv", v); }
    void SetArcSend2(const std::string& v) override { Record("ArcSend2", v); }
    void SetArcReciv2(const std::string& v) override { Record("ArcReciv2", v); }
    void SetCryptProgNew(const std::string& v) override { Record("CryptProgNew", v); }
    void SetPIN(const std::string& v) override { Record("PIN", v); }
    void SetUPIN(const std::string& v) override { Record("UPIN", v); }
    void SetKodSend(const std::string& v) override { Record("KodSend", v); }
    void SetWindowType(int v) override { Record("WindowType", v); }
    void SetPause(int v) override { Record("Pause", v); }
    void SetPlaySound(bool v) override { Record("PlaySound", v); }
    void SetPlaySoundFTP(bool v) override { Record("PlaySoundFTP", v); }
    void SetPlaySoundERR(bool v) override { Record("PlaySoundERR", v); }
    void SetPlaySoundUnknown(bool v) override { Record("PlaySoundUnknown", v); }
    void SetPlayStart(const std::string& v) override { Record("PlayStart", v); }
    void SetPlayFTP(const std::string& v) override { Record("PlayFTP", v); }
    void SetPlayERR(const std::string& v) override { Record("PlayERR", v); }
    void SetPlayUnknown(const std::string& v) override { Record("PlayUnknown", v); }
    void SetERRExt(const std::string& v) override { Record("ERRExt", v); }
    void SetWindowERR(bool v) override { Record("WindowERR", v); }
    void SetWindowUnknown(bool v) override { Record("WindowUnknown", v); }
    void SetSoundOFF(bool v) override { Record("SoundOFF", v); }
    void SetPassive(bool v) override { Record("Passive", v); }

    void ApplyProxySettings(bool useProxy, int proxyRow, const std::string& host, int port,
                            const std::string& user, const std::string& password) override;
    void ReloadSchedule() override;
    [[nodiscard]] bool IsConnected() const override { return Connected; }
    void ConnectFtp() override;
    void DisconnectFtp() override { Calls.push_back("DisconnectFtp"); }
    void ShowInformation(const std::string& caption, const std::string& text) override;
    void ReportError(const std::string& message) override { Errors.push_back(message); }

    // The setters' names in the order they were called, without their values.
    [[nodiscard]] std::vector<std::string> SetterOrder() const;
    // The last value handed to setter `name` ("" when it was not called).
    [[nodiscard]] std::string Handed(const std::string& name) const;

    std::vector<std::string> Calls;
    std::vector<std::string> Errors;
    std::vector<std::string> InformationBoxes;
    bool Connected = false;
    std::function<void()> OnConnect;      // runs in ConnectFtp; may throw
    std::set<std::string> FailingSetters; // these setters throw after recording

private:
    void Record(const std::string& name, const std::string& value);
    void Record(const std::string& name, int value) { Record(name, std::to_string(value)); }
    void Record(const std::string& name, bool value) { Record(name, std::string(value ? "1" : "0")); }

    RegistryStore m_store;
};

} // namespace ornel::test
