// Data connections (passive and active) and the file commands built on them: Get and Put.
#include "ftp/FtpClient.h"
#include "ftp/FtpConnection.h"
#include "ftp/FtpDataAddress.h"
#include "ftp/FtpDataChannel.h"
#include "ftp/FtpErrors.h"
#include "ftp/FtpText.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"
#include "platform/TransferFile.h"

#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace ornel
{

namespace
{

constexpr std::size_t kBlock = FtpConnection::kBlockSize;
constexpr int kListenBacklog = 15;
// How often the progress of an upload is reported while the socket's queue is full.
constexpr std::chrono::milliseconds kProgressStep{100};
// A queue left at the end of an upload that is worth following: on a slow line this much
// takes seconds; on a fast one the tail is smaller or gone before it is looked at.
constexpr std::int64_t kFollowedTail = 256 * 1024;

} // namespace

bool FtpClient::ControlUp() const
{
    return m_hasConnection && m_control->IsOpen();
}

std::chrono::milliseconds FtpClient::DataWait() const
{
    return m_transferTimeout.count() > 0 ? m_transferTimeout : m_dataStallTimeout;
}

std::string FtpClient::RequestPassive(const std::string& command, int& port)
{
    if (IsFeatureOffered("PRET")) {
        SendCommand("PRET " + command);
    }
    SendCommand("PASV", {227});
    const DataAddress address = ParsePassiveReply(m_lastReply);
    port = address.port;
    // Whatever address the reply names, the data connection goes to the host this client
    // already talks to: a server behind NAT often names an address nobody can reach, and a
    // hostile one could point the connection at any machine of the local network.
    return m_controlPeer;
}

void FtpClient::OpenActiveListener(FtpDataChannel& channel)
{
    try {
        channel.listener = Socket::CreateTcp();
        try {
            channel.listener.Bind(m_controlLocal, m_dataPort);
        } catch (const SocketError&) {
            throw EFtpCouldNotBindSocket();
        }
        channel.listener.Listen(kListenBacklog);
        const std::string address = m_externalIP.empty() ? channel.listener.LocalAddress() : m_externalIP;
        SendCommand("PORT " + PortArgument(address, channel.listener.LocalPort()), {200});
    } catch (const SocketError& e) {
        ThrowSocketError(e.Number());
    }
}

void FtpClient::AcceptData(FtpDataChannel& channel)
{
    const auto deadline = std::chrono::steady_clock::now() + m_acceptTimeout;
    try {
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                throw EFtpTimeout("The server did not open the data connection within " +
                                  DurationText(m_acceptTimeout) + ".");
            }
            if (!channel.listener.WaitReadable(std::min(m_acceptPoll, left))) {
                continue;
            }
            std::string peer;
            Socket accepted = channel.listener.Accept(peer);
            // Anyone may connect to the announced port; only the server's own connection
            // carries the file.
            if (peer != m_controlPeer) {
                continue;
            }
            channel.listener.Close();
            channel.connection.Adopt(std::move(accepted));
            return;
        }
    } catch (const SocketError& e) {
        ThrowSocketError(e.Number());
    }
}

void FtpClient::FinishTransfer(bool commandSent)
{
    if (m_lastReply.NumericCode() / 100 >= 3 || !commandSent) {
        Status(FtpStatus::ftpAborted, "Transfer aborted");
        return;
    }
    Status(FtpStatus::ftpReady, "Transfer complete");
    ReadReply({226, 225, 250});
}

void FtpClient::FailTransfer(std::unique_ptr<FtpDataChannel>& channel, bool commandSent, FinalReply rule)
{
    const std::exception_ptr original = std::current_exception();
    channel.reset();
    try {
        FinishTransfer(commandSent);
    } catch (const EFtpReplyError&) {
        if (rule == FinalReply::Decides) {
            throw;
        }
    } catch (...) {
        // The first failure is the one the caller needs; the final reply that could not be
        // read after it adds nothing.
    }
    std::rethrow_exception(original);
}

void FtpClient::ReadData(FtpDataChannel& channel, const DataSink& sink)
{
    if (OnWorkBegin) {
        OnWorkBegin(WorkMode::wmRead, 0);
    }
    try {
        // Room for one block plus one receive: every receive may ask for a full piece, and
        // the destination still gets exactly one block per move.
        std::vector<char> buffer(2 * kBlock);
        std::size_t filled = 0;
        std::int64_t total = 0;
        auto move = [&](std::size_t count) {
            sink(buffer.data(), count);
            total += static_cast<std::int64_t>(count);
            filled -= count;
            std::memmove(buffer.data(), buffer.data() + count, filled);
            if (OnWork) {
                OnWork(WorkMode::wmRead, total);
            }
        };
        const auto wait = DataWait();
        while (true) {
            const auto got = channel.connection.ReceiveInto(buffer.data() + filled, kBlock, wait);
            if (!got) {
                throw EFtpTimeout("No data arrived on the data connection for " + DurationText(wait) + ".");
            }
            if (*got == 0) {
                break;
            }
            filled += *got;
            while (filled >= kBlock) {
                move(kBlock);
            }
        }
        if (filled > 0) {
            move(filled);
        }
    } catch (...) {
        if (OnWorkEnd) {
            OnWorkEnd(WorkMode::wmRead);
        }
        throw;
    }
    if (OnWorkEnd) {
        OnWorkEnd(WorkMode::wmRead);
    }
}

void FtpClient::WriteData(FtpDataChannel& channel, TransferFile& source, std::int64_t length)
{
    if (OnWorkBegin) {
        OnWorkBegin(WorkMode::wmWrite, length);
    }
    try {
        std::vector<char> block(kBlock);
        std::int64_t sent = 0;
        // The count is what the server has taken: the system's buffers hold megabytes of a
        // slow upload, and the bytes written alone would show it done long before it is.
        auto report = [&] {
            if (OnWork) {
                OnWork(WorkMode::wmWrite, sent - channel.connection.Unacknowledged());
            }
        };
        while (sent < length) {
            const auto want = static_cast<std::size_t>(std::min<std::int64_t>(kBlock, length - sent));
            const std::size_t got = source.Read(block.data(), want);
            if (got == 0) {
                throw EFtpNoDataToRead();
            }
            FollowQueue(channel, report, [&] { return !channel.connection.WaitForRoom(kProgressStep); });
            channel.connection.Write(std::string_view(block.data(), got));
            sent += static_cast<std::int64_t>(got);
            report();
        }
        if (channel.connection.Unacknowledged() >= kFollowedTail) {
            FollowQueue(channel, report, [&] {
                std::this_thread::sleep_for(kProgressStep);
                return channel.connection.Unacknowledged() > 0;
            });
        }
        // All of it handed over; the server's final reply confirms it.
        if (OnWork && length > 0) {
            OnWork(WorkMode::wmWrite, length);
        }
    } catch (...) {
        if (OnWorkEnd) {
            OnWorkEnd(WorkMode::wmWrite);
        }
        throw;
    }
    if (OnWorkEnd) {
        OnWorkEnd(WorkMode::wmWrite);
    }
}

void FtpClient::FollowQueue(FtpDataChannel& channel, const std::function<void()>& report,
                            const std::function<bool()>& waitStep)
{
    const auto stall = DataWait();
    std::int64_t queued = channel.connection.Unacknowledged();
    auto lastMove = std::chrono::steady_clock::now();
    while (waitStep()) {
        report();
        const std::int64_t now = channel.connection.Unacknowledged();
        if (now != queued) {
            queued = now;
            lastMove = std::chrono::steady_clock::now();
        } else if (stall.count() > 0 && std::chrono::steady_clock::now() - lastMove >= stall) {
            throw EFtpTimeout("The server took no data for " + DurationText(stall) + ".");
        }
    }
}

void FtpClient::DataTransferIn(const std::string& command, const DataSink& sink)
{
    Status(FtpStatus::ftpTransfer, "Starting FTP transfer");
    std::unique_ptr<FtpDataChannel> channel;
    bool commandSent = false;
    if (m_passive) {
        int port = 0;
        const std::string host = RequestPassive(command, port);
        channel = std::make_unique<FtpDataChannel>();
        try {
            channel->connection.SetSendStall(DataWait());
            channel->connection.Open(host, port);
            WriteCommand(command);
            commandSent = true;
            ReadReply({125, 150, 154});
            ReadData(*channel, sink);
        } catch (...) {
            FailTransfer(channel, commandSent, FinalReply::KeepError);
        }
    } else {
        channel = std::make_unique<FtpDataChannel>();
        try {
            OpenActiveListener(*channel);
            WriteCommand(command);
            commandSent = true;
            ReadReply({125, 150, 154});
        } catch (...) {
            FailTransfer(channel, commandSent, FinalReply::KeepError);
        }
        try {
            AcceptData(*channel);
        } catch (...) {
            FailTransfer(channel, commandSent, FinalReply::Decides);
        }
        try {
            ReadData(*channel, sink);
        } catch (...) {
            FailTransfer(channel, commandSent, FinalReply::KeepError);
        }
    }
    channel.reset();
    FinishTransfer(commandSent);
}

void FtpClient::DataTransferOut(const std::string& command, TransferFile& source, std::int64_t length)
{
    Status(FtpStatus::ftpTransfer, "Starting FTP transfer");
    std::unique_ptr<FtpDataChannel> channel;
    if (m_passive) {
        int port = 0;
        const std::string host = RequestPassive(command, port);
        WriteCommand(command);
        channel = std::make_unique<FtpDataChannel>();
        try {
            channel->connection.SetSendStall(DataWait());
            channel->connection.Open(host, port);
        } catch (...) {
            FailTransfer(channel, true, FinalReply::Decides);
        }
        try {
            ReadReply({110, 125, 150});
            WriteData(*channel, source, length);
        } catch (...) {
            FailTransfer(channel, true, FinalReply::KeepError);
        }
    } else {
        channel = std::make_unique<FtpDataChannel>();
        bool commandSent = false;
        try {
            OpenActiveListener(*channel);
            WriteCommand(command);
            commandSent = true;
            ReadReply({125, 150});
        } catch (...) {
            FailTransfer(channel, commandSent, FinalReply::KeepError);
        }
        try {
            channel->connection.SetSendStall(DataWait());
            AcceptData(*channel);
        } catch (...) {
            FailTransfer(channel, true, FinalReply::Decides);
        }
        try {
            WriteData(*channel, source, length);
        } catch (...) {
            FailTransfer(channel, true, FinalReply::KeepError);
        }
    }
    // Closing the data connection is the end-of-file mark of the upload; the final reply
    // then says whether the server stored it. A session that closes before that reply, or
    // a data connection lost while bytes were still to go, is a failed upload: the caller
    // deletes its local copy after a successful one, so nothing short may pass as success.
    channel.reset();
    FinishTransfer(true);
}

void FtpClient::Get(const std::string& remoteName, const std::filesystem::path& localPath, bool canOverwrite,
                    bool resume)
{
    if (Gated([&] { Get(remoteName, localPath, canOverwrite, resume); })) {
        return;
    }
    const std::string command = "RETR " + remoteName;
    CheckArgument(command);
    if (resume) {
        // Continuing a partial file needs REST, which this client does not send; refusing
        // is better than restarting silently over the caller's bytes.
        throw EFtpException("Resuming a download is not supported.");
    }
    // Without permission to overwrite, only an existing file stops the download.
    if (!canOverwrite && (FileExists(localPath) || FolderExists(localPath))) {
        throw EFtpFileAlreadyExists();
    }
    if (!m_hasConnection) {
        throw EFtpNotConnected();
    }
    // Only a file is replaced; a folder of that name stays and the create below reports it.
    (void)DeleteFile(localPath); // a failure shows up as the create error below
    TransferFile file;
    try {
        file = TransferFile::CreateNew(localPath);
    } catch (const TransferFileError& e) {
        throw EFileStreamError(e.what());
    }
    try {
        DataTransferIn(command, [&file](const char* data, std::size_t size) { file.Write(data, size); });
        file.Close();
    } catch (...) {
        file = TransferFile();
        // A partial file would look like a finished download to whoever finds it; the
        // server still has the file, so nothing is lost by removing it.
        (void)DeleteFile(localPath);
        try {
            throw;
        } catch (const TransferFileError& e) {
            throw EFileStreamError(e.what());
        }
    }
}

void FtpClient::Put(const std::filesystem::path& localPath, const std::string& remoteName, bool append)
{
    if (Gated([&] { Put(localPath, remoteName, append); })) {
        return;
    }
    const std::string name = remoteName.empty() ? PathToUtf8(localPath.filename()) : remoteName;
    TransferFile file;
    std::int64_t length = 0;
    try {
        file = TransferFile::OpenForReading(localPath);
        length = file.Size();
    } catch (const TransferFileError& e) {
        throw EFileStreamError(e.what());
    }
    if (name.empty()) {
        throw EFtpUploadFileNameEmpty();
    }
    const std::string command = (append ? "APPE " : "STOR ") + name;
    CheckArgument(command);
    try {
        DataTransferOut(command, file, length);
    } catch (const TransferFileError& e) {
        throw EFileStreamError(e.what());
    }
}

} // namespace ornel
