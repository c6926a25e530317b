// One exchange cycle: connect, the outgoing and the incoming half in either order, disconnect,
// with the automation suspended meanwhile. Also the handlers of the FTP client's events.
// Owned by TFMain; UI thread only.
#pragma once

#include "engine/Incoming.h"
#include "engine/Outgoing.h"
#include "engine/TransferState.h"
#include "ftp/FtpTypes.h"

#include <cstdint>
#include <string>

namespace ornel
{

class AutomationControl;
class Counters;
class CryptCall;
class FileMoves;
class FolderLayout;
class Notifications;
struct EngineContext;

// The file-side components a cycle drives; all owned by TFMain.
struct CycleParts
{
    FolderLayout& layout;
    FileMoves& moves;
    CryptCall& crypt;
    Counters& counters;
    Notifications& notifications;
};

class ExchangeCycle
{
public:
    ExchangeCycle(EngineContext& ctx, const CycleParts& parts, AutomationControl& automation);
    ExchangeCycle(const ExchangeCycle&) = delete;
    ExchangeCycle& operator=(const ExchangeCycle&) = delete;

    // Points the FTP client's status, disconnection and progress events at the handlers below.
    void BindFtpEvents();

    // Outgoing half first ("Передать/Принять", the countdown after a new outgoing file).
    void RunSendReceive();
    // Incoming half first ("Принять/Передать", the periodic check).
    void RunReceiveSend();

    // Host, port, login and passive mode from the settings; Connect; ChangeDir("."). Throws.
    void ConnectFtp();
    void ProcessOutgoing();
    void ProcessIncoming();

    void FTPStatus(FtpStatus status, const std::string& text);
    void FTPDisconnected();
    void FTPWork(WorkMode mode, std::int64_t count);
    void FTPWorkEnd(WorkMode mode);

    [[nodiscard]] bool IsConnected() const { return m_isConnected; }
    // LoadSettings clears the flag at the end of start-up.
    void SetConnected(bool connected) { m_isConnected = connected; }

    // A cycle is running; a cycle asked for meanwhile (a menu command served between two
    // files) is refused.
    [[nodiscard]] bool Running() const { return m_running; }
    // Asks a running cycle to end at its next point between two files; the final part still
    // runs. The caller closes once Running() is false. Without a cycle it does nothing.
    void RequestStop();
    // The last cycle wrote at least one "Ошибка: " line.
    [[nodiscard]] bool LastCycleFailed() const { return m_lastCycleFailed; }
    [[nodiscard]] const std::string& CurrentFile() const { return m_state.CurrentFile; }

    Outgoing& OutgoingTransfer() { return m_outgoing; }
    Incoming& IncomingTransfer() { return m_incoming; }

private:
    enum class Order
    {
        SendFirst,
        ReceiveFirst,
    };

    void Run(Order order);
    void RunHalves(Order order);
    [[nodiscard]] std::string Moment() const;

    EngineContext& m_ctx;
    CycleParts m_parts;
    AutomationControl& m_automation;
    TransferState m_state;
    Outgoing m_outgoing;
    Incoming m_incoming;
    bool m_isConnected = false;
    bool m_running = false;
    bool m_lastCycleFailed = false;
};

} // namespace ornel
