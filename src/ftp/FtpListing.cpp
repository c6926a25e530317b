// Directory listings: LIST and NLST under TYPE A, handed back as the server's lines.
#include "ftp/FtpClient.h"
#include "ftp/FtpConnection.h"
#include "ftp/FtpErrors.h"
#include "ftp/FtpText.h"
#include "platform/CodePage.h"

namespace ornel
{

namespace
{

// A listing is held in memory while it arrives; far beyond any real directory, it stops.
constexpr std::size_t kMaxListingBytes = 64 * 1024 * 1024;

const char* TypeCommand(FtpTransferType type)
{
    return type == FtpTransferType::ftBinary ? "TYPE I" : "TYPE A";
}

} // namespace

void FtpClient::List(std::vector<std::string>& lines, const std::string& specifier, bool details)
{
    if (Gated([&] { List(lines, specifier, details); })) {
        return;
    }
    const std::string command = Trim(std::string(details ? "LIST" : "NLST") + " " + specifier);
    CheckArgument(command);
    const FtpTransferType previous = m_transferType;
    const bool switched = previous != FtpTransferType::ftASCII;
    std::string text;
    std::exception_ptr failure;
    try {
        if (switched) {
            m_transferType = FtpTransferType::ftASCII;
            if (ControlUp()) {
                SendCommand("TYPE A", {200});
            }
        }
        DataTransferIn(command, [&text](const char* data, std::size_t size) {
            if (text.size() + size > kMaxListingBytes) {
                throw EFtpException("The directory listing is too long (more than " +
                                    std::to_string(kMaxListingBytes / (1024 * 1024)) + " MiB).");
            }
            text.append(data, size);
        });
    } catch (...) {
        failure = std::current_exception();
    }
    if (switched) {
        m_transferType = previous;
        if (ControlUp()) {
            try {
                SendCommand(TypeCommand(previous), {200});
            } catch (...) {
                // The server may still be in ASCII mode, and a file sent or fetched next would
                // be recoded on the way while every reply looks good. The session ends here
                // rather than go on in a transfer type that is not known.
                if (m_hasConnection && m_control->IsOpen()) {
                    Status(FtpStatus::hsDisconnecting, "Disconnecting.");
                    m_control->Close();
                    if (OnDisconnected) {
                        OnDisconnected();
                    }
                    Status(FtpStatus::hsDisconnected, "Disconnected.");
                }
                m_control->DiscardInput();
                throw;
            }
        }
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    std::vector<std::string> result;
    for (const auto& line : SplitTextLines(text)) {
        result.push_back(Cp1251ToUtf8(line));
    }
    lines = std::move(result);
}

} // namespace ornel
