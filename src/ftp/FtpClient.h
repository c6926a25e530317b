// A blocking, single-threaded FTP client: one control connection, one data connection per
// transfer. Owned by TFMain; every call runs on the UI thread and either returns or throws
// an EFtpException (see FtpErrors.h) or EConvertError whose message the caller logs.
#pragma once

#include "ftp/FtpReply.h"
#include "ftp/FtpTypes.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace ornel
{

class FtpCallGate;
class FtpConnection;
class FtpDataChannel;
class TransferFile;

class FtpClient
{
public:
    FtpClient();
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    void SetHost(std::string host);
    void SetPort(int port);
    void SetUsername(std::string user);
    void SetPassword(std::string password);
    void SetPassive(bool passive);
    void SetProxySettings(const FtpProxySettings& proxy);
    [[nodiscard]] const FtpProxySettings& ProxySettings() const;
    // Length of one wait for data on the control connection (60 s by default). A wait that
    // ends empty does not end a reply wait by itself; ReplyTimeout bounds the whole wait.
    void SetReadTimeout(std::chrono::milliseconds timeout);

    [[nodiscard]] const std::string& Host() const { return m_host; }
    [[nodiscard]] int Port() const { return m_port; }
    [[nodiscard]] bool Passive() const { return m_passive; }
    [[nodiscard]] std::chrono::milliseconds ReadTimeout() const { return m_readTimeout; }

    void SetAccount(std::string account) { m_account = std::move(account); }
    void SetAutoLogin(bool autoLogin) { m_autoLogin = autoLogin; }
    void SetTransferType(FtpTransferType type) { m_transferType = type; }
    [[nodiscard]] FtpTransferType TransferType() const { return m_transferType; }
    // Address announced in PORT instead of the control connection's local one when set.
    void SetExternalIP(std::string address) { m_externalIP = std::move(address); }
    // Local port of the active-mode listener; 0 lets the system choose.
    void SetDataPort(int port) { m_dataPort = port; }
    // Read time-out of a data connection in ms; 0 means that only DataStallTimeout applies.
    void SetTransferTimeout(std::chrono::milliseconds timeout) { m_transferTimeout = timeout; }

    // Bounds of this client's own, so that no operation can wait forever. Each fails with an
    // EFtpTimeout whose message names the wait.
    // The whole wait for one reply, however many empty ReadTimeout waits it spans (5 min:
    // a server that is slow to answer still gets several 60-second waits).
    void SetReplyTimeout(std::chrono::milliseconds timeout) { m_replyTimeout = timeout; }
    // How long a data connection may carry no byte before the transfer fails (5 min); 0
    // turns this bound off. A TransferTimeout above 0 takes its place.
    void SetDataStallTimeout(std::chrono::milliseconds timeout) { m_dataStallTimeout = timeout; }
    // How long active mode waits for the server to open the data connection (60 s).
    void SetAcceptTimeout(std::chrono::milliseconds timeout) { m_acceptTimeout = timeout; }
    // Poll step of the active-mode wait (1 s); tests shorten it.
    void SetAcceptPollInterval(std::chrono::milliseconds interval) { m_acceptPoll = interval; }
    // How long Disconnect listens for the answer to QUIT (10 ms).
    void SetQuitWait(std::chrono::milliseconds wait) { m_quitWait = wait; }
    // Network operations go through `gate` while one is set (see FtpCallGate); null runs
    // them on the caller's thread. Set and cleared only while no operation is under way.
    void SetCallGate(FtpCallGate* gate) { m_gate = gate; }
    // Runs `work` where the network operations run: through the gate while one is set, else
    // here. For the cycle's other long waits (the copies and flushes of its batches of files
    // and the journal's commits), so that the window stays as alive through them as through
    // a transfer.
    void RunOnCallThread(const std::function<void()>& work);

    std::function<void(FtpStatus status, const std::string& text)> OnStatus;
    std::function<void()> OnDisconnected;
    std::function<void(WorkMode mode, std::int64_t maximum)> OnWorkBegin;
    std::function<void(WorkMode mode, std::int64_t count)> OnWork;
    std::function<void(WorkMode mode)> OnWorkEnd;

    void Connect();
    void Disconnect();
    [[nodiscard]] bool Connected();

    void ChangeDir(const std::string& dir);
    void ChangeDirUp();
    void Noop();
    void Delete(const std::string& name);
    [[nodiscard]] std::int64_t Size(const std::string& name);
    // A failed download removes the partly written local file, so that nothing that looks
    // like a finished download is left behind.
    void Get(const std::string& remoteName, const std::filesystem::path& localPath, bool canOverwrite,
             bool resume);
    void Put(const std::filesystem::path& localPath, const std::string& remoteName, bool append);
    // Replaces `lines` on success, leaves it untouched on failure.
    void List(std::vector<std::string>& lines, const std::string& specifier, bool details);

    // Sends one command line and reads its reply; an empty set accepts any code. Returns the
    // reply's numeric code.
    int SendCommand(const std::string& command, const std::set<int>& accepted = {});
    int ReadReply(const std::set<int>& accepted = {});

    [[nodiscard]] const FtpReply& LastReply() const { return m_lastReply; }
    [[nodiscard]] const FtpReply& Greeting() const { return m_greeting; }
    [[nodiscard]] const std::vector<std::string>& FeatureList() const { return m_featureList; }
    [[nodiscard]] const std::string& ServerSystem() const { return m_serverSystem; }
    [[nodiscard]] bool IsFeatureOffered(const std::string& feature) const;

private:
    // True when the gate has run `call` to its end; false: the caller runs it itself.
    bool Gated(const std::function<void()>& call);

    struct Endpoint
    {
        std::string host;
        int port = 0;
    };

    void Status(FtpStatus status, const std::string& text) const;
    [[nodiscard]] Endpoint ControlEndpoint() const;
    void OpenControlConnection();
    void CloseControl();
    void WriteCommand(const std::string& command);
    // The command's bytes on the wire; throws EFtpInvalidArgument for a line break, a NUL or
    // a character without a Windows-1251 form (a secret's text is never quoted).
    [[nodiscard]] static std::string EncodeCommand(const std::string& command, bool secret);
    static void CheckArgument(const std::string& command);
    [[nodiscard]] std::string NextReplyLine(std::chrono::steady_clock::time_point deadline);

    // Login (FtpLogin.cpp).
    void Login();
    void LoginCommands();
    void AccountStep();
    [[nodiscard]] std::string PasswordResponse(const std::string& challenge) const;
    [[nodiscard]] std::string TargetAddress() const;
    void UserPass(const std::string& user, const std::set<int>& userCodes, const std::string& pass,
                  const std::set<int>& passCodes, bool accountStep);
    void AfterLogin();
    void SiteZoneStep();

    // Data transfers (FtpTransfer.cpp).
    using DataSink = std::function<void(const char* data, std::size_t size)>;
    enum class FinalReply
    {
        // The error that ended the transfer reaches the caller.
        KeepError,
        // A refusing final reply replaces the error (the server knows why no data came).
        Decides,
    };
    void DataTransferIn(const std::string& command, const DataSink& sink);
    void DataTransferOut(const std::string& command, TransferFile& source, std::int64_t length);
    [[nodiscard]] std::string RequestPassive(const std::string& command, int& port);
    void OpenActiveListener(FtpDataChannel& channel);
    void AcceptData(FtpDataChannel& channel);
    [[noreturn]] void FailTransfer(std::unique_ptr<FtpDataChannel>& channel, bool commandSent,
                                   FinalReply rule);
    void FinishTransfer(bool commandSent);
    void ReadData(FtpDataChannel& channel, const DataSink& sink);
    void WriteData(FtpDataChannel& channel, TransferFile& source, std::int64_t length);
    // Repeats `waitStep` (true: wait again) while reporting the progress of the queued bytes;
    // fails as a stall when the server takes nothing for DataWait().
    void FollowQueue(FtpDataChannel& channel, const std::function<void()>& report,
                     const std::function<bool()>& waitStep);
    [[nodiscard]] std::chrono::milliseconds DataWait() const;
    [[nodiscard]] bool ControlUp() const;

    std::string m_host;
    int m_port = 21;
    std::string m_username;
    std::string m_password;
    std::string m_account;
    bool m_passive = false;
    bool m_autoLogin = true;
    FtpTransferType m_transferType = FtpTransferType::ftBinary;
    FtpProxySettings m_proxy;
    std::string m_externalIP;
    int m_dataPort = 0;

    std::chrono::milliseconds m_readTimeout{60000};
    std::chrono::milliseconds m_transferTimeout{0};
    std::chrono::milliseconds m_replyTimeout{300000};
    std::chrono::milliseconds m_dataStallTimeout{300000};
    std::chrono::milliseconds m_acceptTimeout{60000};
    std::chrono::milliseconds m_acceptPoll{1000};
    std::chrono::milliseconds m_quitWait{10};
    FtpCallGate* m_gate = nullptr;

    std::unique_ptr<FtpConnection> m_control;
    // False until the first socket connect succeeds and again after one fails: commands
    // then fail with "Not connected." rather than as a closed connection.
    bool m_hasConnection = false;
    // Both ends of the control connection, kept from the connect: PORT binds to the local
    // one, and data connections are only made with (and accepted from) the peer.
    std::string m_controlLocal;
    std::string m_controlPeer;
    FtpReply m_lastReply;
    FtpReply m_greeting;
    std::vector<std::string> m_featureList;
    std::string m_serverSystem;
};

} // namespace ornel
