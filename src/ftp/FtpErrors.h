// The errors of the FTP client. Every message is the text the user is shown; thrown on the
// caller's thread by FtpClient and its helpers.
#pragma once

#include <stdexcept>
#include <string>

namespace ornel
{

class EFtpException : public std::runtime_error
{
public:
    explicit EFtpException(const std::string& message)
        : std::runtime_error(message)
    {}
};

// A reply outside the accepted codes; the message is the reply's text lines with CR LF.
class EFtpReplyError : public EFtpException
{
public:
    EFtpReplyError(int code, const std::string& message)
        : EFtpException(message)
        , m_code(code)
    {}
    [[nodiscard]] int ReplyCode() const { return m_code; }

private:
    int m_code;
};

// A failed socket call; the number is the Winsock-style number the message names.
class EFtpSocketError : public EFtpException
{
public:
    EFtpSocketError(int number, const std::string& message)
        : EFtpException(message)
        , m_number(number)
    {}
    [[nodiscard]] int ErrorNumber() const { return m_number; }

private:
    int m_number;
};

class EFtpNotASocket : public EFtpSocketError
{
public:
    using EFtpSocketError::EFtpSocketError;
};

#define ORNEL_FTP_ERROR(Name, Text)                                                                          \
    class Name : public EFtpException                                                                        \
    {                                                                                                        \
    public:                                                                                                  \
        Name()                                                                                               \
            : EFtpException(Text)                                                                            \
        {}                                                                                                   \
    };

ORNEL_FTP_ERROR(EFtpConnClosedGracefully, "Connection Closed Gracefully.")
ORNEL_FTP_ERROR(EFtpAlreadyConnected, "Already connected.")
ORNEL_FTP_ERROR(EFtpHostRequired, "")
ORNEL_FTP_ERROR(EFtpPortRequired, "")
ORNEL_FTP_ERROR(EFtpNotConnected, "Not connected.")
ORNEL_FTP_ERROR(EFtpMaxLineLengthExceeded, "Max line length exceeded.")
ORNEL_FTP_ERROR(EFtpCouldNotBindSocket, "Could not bind socket. Address and port are already in use.")
ORNEL_FTP_ERROR(EFtpCommandNotSupported, "Command not supported.")
ORNEL_FTP_ERROR(EFtpCustomProxyRequired, "OnCustomFTPProxy required but not assigned")
ORNEL_FTP_ERROR(EFtpFileAlreadyExists, "Destination file already exists.")
ORNEL_FTP_ERROR(EFtpUploadFileNameEmpty, "The destination filename can not be empty")
ORNEL_FTP_ERROR(EFtpNoDataToRead, "No data to read.")

#undef ORNEL_FTP_ERROR

// One of the client's own bounds ran out (reply wait, stalled data, active-mode accept).
class EFtpTimeout : public EFtpException
{
public:
    using EFtpException::EFtpException;
};

// A reply that grows without end (too many lines or bytes) is cut off with this error.
class EFtpReplyTooLong : public EFtpException
{
public:
    using EFtpException::EFtpException;
};

// A command argument that cannot go on the wire: a line break or NUL inside it, or a
// character without a Windows-1251 form. Raised before anything is sent.
class EFtpInvalidArgument : public EFtpException
{
public:
    using EFtpException::EFtpException;
};

// A text that should be a number and is not: "'%s' is not a valid integer value".
class EConvertError : public std::runtime_error
{
public:
    explicit EConvertError(const std::string& text)
        : std::runtime_error("'" + text + "' is not a valid integer value")
    {}
};

// A local file that cannot be created or opened: "Cannot create file "%s". %s".
class EFileStreamError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Builds the EFtpSocketError (or EFtpNotASocket for 10038) for a Winsock-style number.
[[noreturn]] void ThrowSocketError(int number);

} // namespace ornel
