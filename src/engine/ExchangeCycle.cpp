#include "engine/ExchangeCycle.h"

#include "engine/AutomationControl.h"
#include "engine/CryptCall.h"
#include "engine/Desktop.h"
#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "engine/FileMoves.h"
#include "engine/FolderLayout.h"
#include "engine/Notifications.h"
#include "engine/TransferDirection.h"
#include "ftp/FtpClient.h"
#include "journal/Journal.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/EventLoop.h"
#include "settings/RuntimeSettings.h"

#include <chrono>
#include <exception>

namespace ornel
{

namespace
{

// The server gets a moment between sending and fetching, so that answers to what was just
// sent can already be waiting.
constexpr std::chrono::milliseconds kPauseBetweenHalves{2000};

} // namespace

ExchangeCycle::ExchangeCycle(EngineContext& ctx, const CycleParts& parts, AutomationControl& automation)
    : m_ctx(ctx)
    , m_parts(parts)
    , m_automation(automation)
    , m_outgoing(ctx, parts.layout, parts.moves, parts.counters, m_state)
    , m_incoming(ctx, parts.layout, parts.moves, parts.counters, parts.notifications, m_state)
{
    // A commit waits for the disk as long as a batch's flushes do: it runs where the FTP
    // client runs its calls, off the window's thread in the tray application.
    m_ctx.journal.SetCommitAside(
        [&ftp = m_ctx.ftp](const std::function<void()>& commit) { ftp.RunOnCallThread(commit); });
}

void ExchangeCycle::BindFtpEvents()
{
    m_ctx.ftp.OnStatus = [this](FtpStatus status, const std::string& text) { FTPStatus(status, text); };
    m_ctx.ftp.OnDisconnected = [this] { FTPDisconnected(); };
    m_ctx.ftp.OnWork = [this](WorkMode mode, std::int64_t count) { FTPWork(mode, count); };
    m_ctx.ftp.OnWorkEnd = [this](WorkMode mode) { FTPWorkEnd(mode); };
}

void ExchangeCycle::RunSendReceive()
{
    Run(Order::SendFirst);
}

void ExchangeCycle::RunReceiveSend()
{
    Run(Order::ReceiveFirst);
}

void ExchangeCycle::RequestStop()
{
    if (m_running) {
        m_state.StopRequested = true;
    }
}

std::string ExchangeCycle::Moment() const
{
    return FormatDateTime("dd/mm/yyyy hh:nn:ss", m_ctx.clock.Now());
}

void ExchangeCycle::Run(Order order)
{
    // The cycle serves pending events between its steps; a second cycle started there would
    // close the first one's connection under it.
    if (m_running) {
        return;
    }
    m_running = true;
    m_state = TransferState{};
    const bool sendFirst = order == Order::SendFirst;

    try {
        m_parts.notifications.PlayNotification(SoundEvent::ExchangeStart);
        m_automation.SuspendForCycle();
        m_ctx.desktop.SetTrayAnimated(true);
        m_ctx.loop.ProcessPendingEvents();
        m_ctx.log.AddLog((sendFirst ? "Старт передача/прием " : "Старт прием/передача ") + Moment());
        RunHalves(order);
    } catch (const std::exception& e) {
        // Only the steps before the protected part get here (a log that cannot be written);
        // the final part below still puts everything back.
        m_state.ErrorLogged = true;
        try {
            m_ctx.log.AddLog(std::string("Ошибка: ") + e.what());
        } catch (const std::exception&) {
            // the log itself is what failed; the final part reports what it can
        }
    }

    std::exception_ptr finalFailure;
    try {
        m_ctx.desktop.SetTrayAnimated(false);
        m_ctx.desktop.SetTrayIconIndex(0);
        try {
            m_ctx.ftp.Disconnect();
        } catch (const std::exception& e) {
            // QUIT on a connection that has just broken; the socket is closed all the same
            m_state.ErrorLogged = true;
            m_ctx.log.AddLog(std::string("Ошибка: ") + e.what());
        }
        m_ctx.log.AddLog((sendFirst ? "Стоп передача/прием " : "Стоп прием/передача ") + Moment());
    } catch (...) {
        finalFailure = std::current_exception(); // the log cannot be written
    }
    m_state.CurrentFile.clear();
    m_lastCycleFailed = m_state.ErrorLogged || finalFailure != nullptr;
    m_running = false;
    // Monitoring and the schedule come back even when the log failed.
    m_automation.ResumeAfterCycle();
    if (finalFailure) {
        std::rethrow_exception(finalFailure);
    }
}

void ExchangeCycle::RunHalves(Order order)
{
    try {
        if (!m_isConnected) {
            ConnectFtp();
        }
        if (order == Order::SendFirst) {
            ProcessOutgoing();
        } else {
            ProcessIncoming();
        }
        m_ctx.loop.Sleep(kPauseBetweenHalves);
        if (!m_state.StopRequested) {
            if (order == Order::SendFirst) {
                ProcessIncoming();
            } else {
                ProcessOutgoing();
            }
        }
    } catch (const std::exception& e) {
        m_state.ErrorLogged = true;
        m_ctx.log.AddLog(std::string("Ошибка: ") + e.what());
        try {
            m_ctx.ftp.Disconnect();
        } catch (const std::exception&) {
            // the socket is closed whatever QUIT met; the final part disconnects once more
        }
    }
}

void ExchangeCycle::ConnectFtp()
{
    const RuntimeSettings& s = m_ctx.settings;
    m_ctx.ftp.SetHost(s.IP);
    m_ctx.ftp.SetPort(s.Port);
    m_ctx.ftp.SetUsername(s.User);
    m_ctx.ftp.SetPassword(s.Password);
    m_ctx.ftp.SetPassive(s.Passive);
    m_ctx.ftp.Connect();
    m_ctx.ftp.ChangeDir(".");
}

void ExchangeCycle::ProcessOutgoing()
{
    const RuntimeSettings& s = m_ctx.settings;
    m_parts.moves.RemoveStaleParts(m_parts.layout.TempSendPlain());
    m_parts.moves.RemoveStaleParts(s.TempSend);
    // Encrypted files left in TempSend by a failed upload make the half run on their own.
    if (m_parts.moves.CountFiles(s.PostBoxOut, true) > 0 || m_parts.moves.CountFiles(s.TempSend, false) > 0) {
        m_parts.moves.MoveWithBackup(TransferDirection::Outgoing, s.PostBoxOut,
                                     m_parts.layout.TempSendPlain());
        m_parts.crypt.ProcessCrypt(TransferDirection::Outgoing, m_parts.layout.TempSendPlain(), s.TempSend);
        m_outgoing.SendFiles();
    }
}

void ExchangeCycle::ProcessIncoming()
{
    const RuntimeSettings& s = m_ctx.settings;
    m_parts.moves.RemoveStaleParts(s.TempReciv);
    m_parts.moves.RemoveStaleParts(m_parts.layout.TempRecivPlain());
    const int received = m_incoming.ReceiveFiles();
    // Downloads left in TempReciv by an earlier cycle are decrypted even when the server is empty.
    if (received > 0 || m_parts.moves.CountFiles(s.TempReciv, false) > 0) {
        m_parts.crypt.ProcessCrypt(TransferDirection::Incoming, s.TempReciv, m_parts.layout.TempRecivPlain());
        m_parts.moves.MoveWithBackup(TransferDirection::Incoming, m_parts.layout.TempRecivPlain(),
                                     s.PostBoxIn);
    }
}

void ExchangeCycle::FTPStatus(FtpStatus status, const std::string& /*text*/)
{
    switch (status) {
    case FtpStatus::hsResolving:
    case FtpStatus::hsConnecting:
        m_ctx.log.AddLog("FTP Подключение....");
        break;
    case FtpStatus::hsConnected:
        m_ctx.log.AddLog("FTP Подключенно...");
        m_isConnected = true;
        break;
    case FtpStatus::hsDisconnecting:
        m_ctx.log.AddLog("FTP Отключение...");
        break;
    case FtpStatus::hsDisconnected:
        m_ctx.log.AddLog("FTP Отключенно");
        // The server's own close is reported only this way; without clearing here the next
        // cycle would skip the connect and fail at its first command.
        m_isConnected = false;
        break;
    default:
        break;
    }
}

void ExchangeCycle::FTPDisconnected()
{
    m_isConnected = false;
}

void ExchangeCycle::FTPWork(WorkMode /*mode*/, std::int64_t count)
{
    // Listings report progress too, against the range of the last file; a count the bar
    // cannot show puts it back to the start.
    if (count < 0 || count > m_state.ProgressMax) {
        m_ctx.desktop.SetProgressPosition(0);
    } else {
        m_ctx.desktop.SetProgressPosition(count);
    }
}

void ExchangeCycle::FTPWorkEnd(WorkMode /*mode*/)
{
    m_ctx.desktop.SetProgressPosition(0);
}

} // namespace ornel
