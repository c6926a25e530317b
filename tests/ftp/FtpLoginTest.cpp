#include "ClientFixture.h"
#include "ftp/FtpErrors.h"

#include <gtest/gtest.h>

namespace ornel::test
{

using Strings = std::vector<std::string>;

class FtpLogin : public ClientFixture
{
protected:
    // The fixed tail of every login.
    void ExpectTail() { server.On("FEAT", "500 no").On("TYPE I", "200 ok").On("SYST", "215 UNIX"); }
    void UseProxy(FtpProxyType type, const std::string& user, const std::string& password)
    {
        // The proxy is the scripted server itself; the target sits elsewhere.
        FtpProxySettings proxy;
        proxy.ProxyType = type;
        proxy.Host = "127.0.0.1";
        proxy.Port = server.Port();
        proxy.UserName = user;
        proxy.Password = password;
        client.SetProxySettings(proxy);
        client.SetHost("target.example");
        client.SetPort(2121);
    }
};

TEST_F(FtpLogin, ProxySchemesSendTheirCommandLines)
{
    struct Case
    {
        FtpProxyType type;
        std::string proxyUser;
        std::string proxyPass;
        std::vector<std::pair<std::string, std::string>> exchange;
    };
    const std::vector<Case> cases = {
        {FtpProxyType::fpcmUserSite,
         "puser",
         "ppass",
         {{"USER puser", "331 proxy password"},
          {"PASS ppass", "230 proxy ok"},
          {"USER user@target.example:2121", "331 password"},
          {"PASS pass", "230 ok"}}},
        {FtpProxyType::fpcmSite,
         "",
         "",
         {{"SITE target.example:2121", "220 connected"}, {"USER user", "331 pw"}, {"PASS pass", "230 ok"}}},
        {FtpProxyType::fpcmOpen,
         "puser",
         "ppass",
         {{"USER puser", "331 pw"},
          {"PASS ppass", "230 ok"},
          {"OPEN target.example:2121", "220 open"},
          {"USER user", "331 pw"},
          {"PASS pass", "230 ok"}}},
        {FtpProxyType::fpcmUserPass,
         "puser",
         "ppass",
         {{"USER user@puser@target.example:2121", "331 pw"}, {"PASS pass@ppass", "230 ok"}}},
        {FtpProxyType::fpcmUserPass,
         "puser",
         "",
         {{"USER user@puser@target.example:2121", "331 pw"}, {"PASS pass", "230 ok"}}},
        {FtpProxyType::fpcmUserHostFireWallID,
         "",
         "",
         {{"USER user@target.example:2121", "331 pw"}, {"PASS pass", "230 ok"}}},
        {FtpProxyType::fpcmUserHostFireWallID,
         "fw",
         "acct",
         {{"USER user@target.example:2121 fw", "331 pw"},
          {"PASS pass", "332 account"},
          {"ACCT acct", "230 ok"}}},
        {FtpProxyType::fpcmNovellBorder,
         "puser",
         "ppass",
         {{"USER puser$user$target.example:2121", "331 pw"}, {"PASS ppass$pass", "230 ok"}}},
    };
    for (const auto& c : cases) {
        ScriptedFtpServer proxy;
        FtpClient scheme;
        FtpProxySettings settings{c.type, "127.0.0.1", proxy.Port(), c.proxyUser, c.proxyPass};
        scheme.SetProxySettings(settings);
        scheme.SetHost("target.example");
        scheme.SetPort(2121);
        scheme.SetUsername("user");
        scheme.SetPassword("pass");
        proxy.Reply("220 proxy");
        for (const auto& [line, reply] : c.exchange) {
            proxy.On(line, reply);
        }
        proxy.On("FEAT", "500 no").On("TYPE I", "200 ok").On("SYST", "215 UNIX");
        proxy.Start();
        EXPECT_NO_THROW(scheme.Connect()) << static_cast<int>(c.type);
        ASSERT_TRUE(proxy.WaitFinished());
        EXPECT_EQ(proxy.Mismatches(), Strings{}) << "scheme " << static_cast<int>(c.type);
    }
}

TEST_F(FtpLogin, TransparentProxyConnectsToTheTargetItself)
{
    FtpProxySettings proxy{FtpProxyType::fpcmTransparent, "192.0.2.1", 21, "puser", "ppass"};
    client.SetProxySettings(proxy);
    server.Reply("220 target")
        .On("USER puser", "331 pw")
        .On("PASS ppass", "230 ok")
        .On("USER user", "331 pw")
        .On("PASS pass", "230 ok");
    ExpectTail();
    server.Start();
    client.Connect();
    ExpectScriptPlayed();
}

TEST_F(FtpLogin, UnsupportedSchemesFailAfterTheGreeting)
{
    UseProxy(FtpProxyType::fpcmHttpProxyWithFtp, "", "");
    server.Reply("220 proxy").Expect("QUIT").Reply("221 bye");
    server.Start();
    EXPECT_EQ(MessageOf<EFtpCommandNotSupported>([&] { client.Connect(); }), "Command not supported.");
    ExpectScriptPlayed();

    ScriptedFtpServer second;
    FtpProxySettings custom{FtpProxyType::fpcmCustomProxy, "127.0.0.1", second.Port(), "", ""};
    client.SetProxySettings(custom);
    second.Reply("220 proxy").Expect("QUIT");
    second.Start();
    EXPECT_EQ(MessageOf<EFtpCustomProxyRequired>([&] { client.Connect(); }),
              "OnCustomFTPProxy required but not assigned");
    ASSERT_TRUE(second.WaitFinished());
    EXPECT_EQ(second.Mismatches(), Strings{});
}

TEST_F(FtpLogin, AccountRequiredWithoutAccountFails)
{
    server.Reply("220 hi")
        .On("USER user", "331 pw")
        .On("PASS pass", "332 Need account for login.")
        .Expect("QUIT");
    server.Start();
    try {
        client.Connect();
        ADD_FAILURE() << "login without the account succeeded";
    } catch (const EFtpReplyError& e) {
        EXPECT_EQ(e.ReplyCode(), 332);
        EXPECT_STREQ(e.what(), "Need account for login.\r\n");
    }
    ExpectScriptPlayed();
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(disconnectedEvents, 1);

    // With an account set, the same reply is answered with ACCT.
    ScriptedFtpServer second;
    client.SetPort(second.Port());
    client.SetAccount("acc");
    second.Reply("220 hi")
        .On("USER user", "331 pw")
        .On("PASS pass", "332 Need account")
        .On("ACCT acc", "230 ok");
    second.On("FEAT", "500 no").On("TYPE I", "200 ok").On("SYST", "215 UNIX");
    second.Start();
    client.Connect();
    ASSERT_TRUE(second.WaitFinished());
    EXPECT_EQ(second.Mismatches(), Strings{});
}

TEST_F(FtpLogin, RefusedPasswordEndsConnect)
{
    server.Reply("220 hi").On("USER user", "331 pw").On("PASS pass", "530 Login incorrect.").Expect("QUIT");
    server.Start();
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Connect(); }), "Login incorrect.\r\n");
    ExpectScriptPlayed();
    // hsConnected came before the greeting; the failed login still closes politely.
    EXPECT_EQ(statuses.back(), FtpStatus::hsDisconnected);
    EXPECT_EQ(disconnectedEvents, 1);
}

TEST_F(FtpLogin, OneTimePasswordChallengesAreAnswered)
{
    client.SetPassword("This is a test.");
    server.Reply("220 hi")
        .On("USER user", "331 Response to otp-md5 0 TeSt required.")
        .On("PASS INCH SEA ANNE LONG AHEM TOUR", "230 ok");
    ExpectTail();
    server.Start();
    client.Connect();
    ExpectScriptPlayed();
    client.Disconnect();

    // An algorithm the client does not know gets the plain password.
    ScriptedFtpServer second;
    client.SetPort(second.Port());
    second.Reply("220 hi")
        .On("USER user", "331 Response to otp-sha256 0 TeSt")
        .On("PASS This is a test.", "230 ok");
    second.On("FEAT", "500 no").On("TYPE I", "200 ok").On("SYST", "215 UNIX");
    second.Start();
    client.Connect();
    ASSERT_TRUE(second.WaitFinished());
    EXPECT_EQ(second.Mismatches(), Strings{});
    client.Disconnect();

    ScriptedFtpServer third;
    client.SetPort(third.Port());
    third.Reply("220 hi").On("USER user", "331 Response to otp-sha1 x1 TeSt").Expect("QUIT");
    third.Start();
    EXPECT_EQ(MessageOf<EConvertError>([&] { client.Connect(); }), "'x1' is not a valid integer value");
    ASSERT_TRUE(third.WaitFinished());
    EXPECT_EQ(third.Mismatches(), Strings{});
}

TEST_F(FtpLogin, SiteZoneFollowsWhenOffered)
{
    server.Reply("220 hi")
        .On("USER user", "230 ok")
        .On("FEAT", "211-Extensions\r\n SITE PSWD;SET;zone;CHMOD\r\n211 End")
        .On("TYPE I", "200 ok")
        .On("SYST", "215 UNIX")
        .On("SITE ZONE", "210 UTC-300");
    server.Start();
    client.Connect();
    ExpectScriptPlayed();

    // Known by its greeting; an offset that is no number fails the connect.
    ScriptedFtpServer second;
    client.SetPort(second.Port());
    second.Reply("220 Serv-U FTP Server v6 ready")
        .On("USER user", "230 ok")
        .On("FEAT", "500 no")
        .On("TYPE I", "200 ok")
        .On("SYST", "215 UNIX")
        .On("SITE ZONE", "210 UTC+abc")
        .Expect("QUIT");
    second.Start();
    client.Disconnect();
    EXPECT_EQ(MessageOf<EConvertError>([&] { client.Connect(); }), "'+abc' is not a valid integer value");
    ASSERT_TRUE(second.WaitFinished());
    EXPECT_EQ(second.Mismatches(), Strings{});
}

TEST_F(FtpLogin, RefusedTypeFailsTheLogin)
{
    server.Reply("220 hi")
        .On("USER user", "230 ok")
        .On("FEAT", "500 no")
        .On("TYPE I", "504 no binary")
        .Expect("QUIT");
    server.Start();
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Connect(); }), "no binary\r\n");
    ExpectScriptPlayed();
}

} // namespace ornel::test
