// The login that Connect runs after the greeting: USER/PASS/ACCT directly or through one of
// the FTP proxy schemes, one-time-password answers, then FEAT, TYPE, SYST and SITE ZONE.
#include "ftp/FtpClient.h"
#include "ftp/FtpConnection.h"
#include "ftp/FtpErrors.h"
#include "ftp/FtpText.h"
#include "ftp/OneTimePassword.h"
#include "platform/CodePage.h"

namespace ornel
{

namespace
{

const std::set<int> kAny{};

} // namespace

std::string FtpClient::TargetAddress() const
{
    return m_port == 21 ? m_host : m_host + ":" + std::to_string(m_port);
}

std::string FtpClient::PasswordResponse(const std::string& challenge) const
{
    const auto otp = FindOtpChallenge(challenge);
    if (!otp) {
        return m_password;
    }
    // The pass phrase is hashed as the server would see it typed: in the wire code page.
    std::string phrase;
    try {
        phrase = Utf8ToCp1251(m_password);
    } catch (const std::exception&) {
        throw EFtpInvalidArgument("The password holds a character that cannot be sent to the server.");
    }
    return OtpSixWords(OtpKey(otp->algorithm, otp->sequence, otp->seed, phrase));
}

void FtpClient::AccountStep()
{
    const bool needed = m_lastReply.NumericCode() == 332 ||
                        (m_lastReply.JoinedText().find("ACCOUNT") != std::string::npos && !m_account.empty());
    if (!needed) {
        return;
    }
    if (m_account.empty()) {
        throw EFtpReplyError(m_lastReply.NumericCode(), m_lastReply.Message());
    }
    SendCommand("ACCT " + m_account, {202, 230, 500});
}

void FtpClient::UserPass(const std::string& user, const std::set<int>& userCodes, const std::string& pass,
                         const std::set<int>& passCodes, bool accountStep)
{
    if (SendCommand("USER " + user, userCodes) != 331) {
        return;
    }
    SendCommand("PASS " + pass, passCodes);
    if (accountStep) {
        AccountStep();
    }
}

void FtpClient::LoginCommands()
{
    const std::string& puser = m_proxy.UserName;
    const std::string& ppass = m_proxy.Password;
    const std::string target = TargetAddress();
    // The user's own password may be a one-time answer to the reply that asked for it, so
    // it is worked out only once that reply has been read.
    auto userLogin = [this](const std::string& user, const std::set<int>& userCodes,
                            const std::set<int>& passCodes, const std::string& passSuffix) {
        if (SendCommand("USER " + user, userCodes) != 331) {
            return;
        }
        SendCommand("PASS " + PasswordResponse(m_lastReply.JoinedText()) + passSuffix, passCodes);
        AccountStep();
    };

    switch (m_proxy.ProxyType) {
    case FtpProxyType::fpcmNone:
        userLogin(m_username, {230, 232, 331}, {230, 332}, "");
        break;
    case FtpProxyType::fpcmUserSite:
        if (!puser.empty()) {
            UserPass(puser, {230, 331}, ppass, {230}, true);
        }
        userLogin(m_username + "@" + target, {230, 232, 331}, {230, 331}, "");
        break;
    case FtpProxyType::fpcmSite:
        if (!puser.empty()) {
            UserPass(puser, {230, 331}, ppass, {230}, false);
        }
        SendCommand("SITE " + target, kAny);
        userLogin(m_username, {230, 232, 331}, {230, 332}, "");
        break;
    case FtpProxyType::fpcmOpen:
        // The proxy's own login carries the proxy's password: the user's password belongs
        // to the target server and is not handed to the proxy.
        if (!puser.empty()) {
            UserPass(puser, {230, 331}, ppass, {230, 332}, true);
        }
        SendCommand("OPEN " + target, kAny);
        userLogin(m_username, {230, 232, 331}, {230, 332}, "");
        break;
    case FtpProxyType::fpcmUserPass:
        userLogin(m_username + "@" + puser + "@" + target, {230, 232, 331}, {230, 332},
                  ppass.empty() ? std::string() : "@" + ppass);
        break;
    case FtpProxyType::fpcmTransparent:
        if (!puser.empty()) {
            UserPass(puser, {230, 331}, ppass, {230, 332}, false);
        }
        userLogin(m_username, {230, 232, 331}, {230, 332}, "");
        break;
    case FtpProxyType::fpcmUserHostFireWallID:
        if (SendCommand("USER " + TrimRight(m_username + "@" + target + " " + puser), {230, 331}) == 331 &&
            SendCommand("PASS " + PasswordResponse(m_lastReply.JoinedText()), {230, 232, 202, 332}) == 332) {
            SendCommand("ACCT " + ppass, {230, 232, 332});
            AccountStep();
        }
        break;
    case FtpProxyType::fpcmNovellBorder:
        if (SendCommand("USER " + Trim(puser + "$" + m_username + "$" + target), {230, 331}) == 331 &&
            SendCommand("PASS " + ppass + "$" + PasswordResponse(m_lastReply.JoinedText()),
                        {230, 232, 202, 332}) == 332) {
            AccountStep();
        }
        break;
    case FtpProxyType::fpcmHttpProxyWithFtp:
        throw EFtpCommandNotSupported();
    case FtpProxyType::fpcmCustomProxy:
        throw EFtpCustomProxyRequired();
    }
}

void FtpClient::Login()
{
    LoginCommands();
    AfterLogin();
}

void FtpClient::AfterLogin()
{
    SendCommand("FEAT", kAny);
    m_featureList.clear();
    const auto& text = m_lastReply.Text;
    if (text.size() > 2) {
        m_featureList.assign(text.begin() + 1, text.end() - 1);
    }
    SendCommand(m_transferType == FtpTransferType::ftBinary ? "TYPE I" : "TYPE A", {200});
    const int code = SendCommand("SYST", kAny);
    m_serverSystem = code == 500 ? std::string("Unknown")
                                 : (m_lastReply.Text.empty() ? std::string() : m_lastReply.Text.front());
    SiteZoneStep();
}

void FtpClient::SiteZoneStep()
{
    bool offered = false;
    if (!m_greeting.Text.empty()) {
        const std::string& first = m_greeting.Text.front();
        for (const char* prefix : {"Serv-U ", "BPFTP Server ", "TitanFTP server ", "Titan FTP Server "}) {
            if (first.rfind(prefix, 0) == 0) {
                offered = true;
            }
        }
    }
    for (const auto& entry : m_featureList) {
        const std::string line = Trim(entry);
        const std::size_t blank = line.find(' ');
        if (!EqualsNoCase(line.substr(0, blank), "SITE") || blank == std::string::npos) {
            continue;
        }
        std::string rest = line.substr(blank + 1);
        std::size_t start = 0;
        while (start <= rest.size()) {
            const std::size_t semicolon = rest.find(';', start);
            const std::string item = Trim(
                rest.substr(start, semicolon == std::string::npos ? std::string::npos : semicolon - start));
            if (EqualsNoCase(item, "ZONE")) {
                offered = true;
            }
            if (semicolon == std::string::npos) {
                break;
            }
            start = semicolon + 1;
        }
    }
    if (!offered) {
        return;
    }
    if (SendCommand("SITE ZONE", kAny) == 210 && !m_lastReply.Text.empty()) {
        const std::string& offset = m_lastReply.Text.front();
        static_cast<void>(
            ParseIntOrThrow(offset.size() > 3 ? std::string_view(offset).substr(3) : std::string_view()));
    }
}

} // namespace ornel
