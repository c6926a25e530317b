// The controller's runtime settings record: one field per configuration value, named by
// its stored value name. Owned by TFMain; read by the engine and the automation on the
// UI thread. Secrets are held deciphered.
#pragma once

#include <cstdint>
#include <string>

namespace ornel {

struct RuntimeSettings
{
    std::string FtpOut;
    std::string FtpIn;
    std::string TempSend;
    std::string TempReciv;
    std::int32_t Interval = 0;
    std::string IP;
    std::int32_t Port = 0;
    bool Passive = false;
    std::string User;
    std::string Password;
    std::string ArcSend;
    std::string ArcReciv;
    std::string ArcSend2;
    std::string ArcReciv2;
    std::string PostBoxOut;
    std::string PostBoxIn;
    std::string UnKnOwn;
    bool UnKnOwnMonitoring = false;
    bool ERRMonitoring = false;
    bool AutoRun = false;
    bool ShowBallonHint = true;
    std::int32_t BallonHintCountLines = 5;
    bool NotUseCrypt = false;
    bool PlaySound = false;
    bool PlaySoundFTP = false;
    bool PlaySoundERR = false;
    bool PlaySoundUnknown = false;
    std::string PlayStart;
    std::string PlayFTP;
    std::string PlayERR;
    std::string PlayUnknown;
    bool SoundOFF = true;
    std::string ERRExt;
    bool WindowERR = false;
    bool WindowUnknown = false;
    std::string CryptProgNew;
    std::string PIN;
    std::string UPIN;
    std::string KodSend;
    std::int32_t WindowType = 0;
    std::int32_t Pause = 0;
    // Minutes the encryption program may run before it is stopped; kept in the store only
    // (the options dialog does not show it).
    std::int32_t CryptTimeout = 60;
};

} // namespace ornel
