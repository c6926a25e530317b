#include "automation/Monitoring.h"
#include "automation/Schedule.h"
#include "settings/SecretCipher.h"
#include "support/ControllerRig.h"

#include <gtest/gtest.h>

namespace ornel::test
{
namespace
{

struct TFMainTest : ::testing::Test, ControllerRig
{
    TFMain& Start() { return StartController(); }

    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& b : desktop.Boxes) {
            texts.push_back(b.Text);
        }
        return texts;
    }
};

TEST_F(TFMainTest, FirstStartOnAnEmptyStoreUsesTheStartUpDefaultsAndWarnsTwice)
{
    TFMain& m = Start();
    const RuntimeSettings& s = m.Settings();
    EXPECT_EQ(s.FtpOut, "");
    EXPECT_EQ(s.IP, "");
    EXPECT_EQ(s.Port, 0);
    EXPECT_EQ(s.Interval, 0);
    EXPECT_EQ(s.Pause, 0);
    EXPECT_EQ(s.ERRExt, "");
    EXPECT_FALSE(s.AutoRun);
    EXPECT_TRUE(s.SoundOFF);
    EXPECT_TRUE(s.ShowBallonHint);
    EXPECT_EQ(s.BallonHintCountLines, 5);
    EXPECT_FALSE(s.NotUseCrypt);
    EXPECT_EQ(s.CryptTimeout, 60);
    EXPECT_FALSE(m.ProxyEnabled());
    EXPECT_EQ(m.Ftp().ProxySettings(), FtpProxySettings{});

    // The journal's box, then W1 before W2.
    const auto boxes = BoxTexts();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(desktop.Boxes[0].Caption, "Ошибка");
    EXPECT_NE(boxes[1].find("входящих"), std::string::npos);
    EXPECT_NE(boxes[2].find("исходящих"), std::string::npos);
    EXPECT_EQ(desktop.Boxes[2].Icon, MessageIcon::Error);

    // The first line of a run is the bare date; the log file holds it.
    ASSERT_FALSE(desktop.ProtocolLines.empty());
    EXPECT_EQ(desktop.ProtocolLines.front(), "07.12.2026");
    EXPECT_TRUE(std::filesystem::exists(folder / "Log20261207.txt"));

    // Monitoring is off (AutoRun off) and Timer4 runs.
    EXPECT_FALSE(m.AutoMonitoring().MonitoringActive());
    EXPECT_TRUE(m.Timer4().Enabled());
    m.FormClose();
}

TEST_F(TFMainTest, AWrongTypedPortStopsTheLoadThereAndTheProgramRunsOn)
{
    auto key = Options();
    key.WriteString("FtpOut", "Out");
    key.WriteInteger("Interval", 7);
    key.WriteString("Port", "21"); // two characters: the wrong type
    key.WriteString("User", "after-port");
    key.WriteString("ArcSend", "/arc");
    Start();
    const RuntimeSettings& s = main->Settings();
    EXPECT_EQ(s.FtpOut, "Out");
    EXPECT_EQ(s.Interval, 7);
    EXPECT_EQ(s.Port, 0);
    EXPECT_EQ(s.User, "");
    EXPECT_EQ(s.ArcSend, "");
    const auto boxes = BoxTexts();
    EXPECT_NE(std::find(boxes.begin(), boxes.end(), "Invalid data type for 'Port'"), boxes.end());
    EXPECT_TRUE(main->Timer4().Enabled());

    // Four characters or more is too large for an integer: another message.
    TempFolder other;
    RegistryStore second(other / "registry");
    auto k2 = second.OpenKey(Hive::LocalMachine, kOptions);
    k2.WriteString("Port", "2121");
    EXPECT_THROW(
        {
            try {
                (void)k2.ReadInteger("Port");
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "Failed to get data for 'Port'");
                throw;
            }
        },
        std::runtime_error);
}

TEST_F(TFMainTest, ProxyValuesApplyAllTogetherOrNotAtAll)
{
    auto key = Options();
    key.WriteBool("Proxy", true);
    key.WriteInteger("ProxyType", 0);
    key.WriteString("ProxyAdr", "proxy.local");
    key.WriteInteger("ProxyPort", 8021);
    key.WriteString("ProxyPaswd", EncryptSecret("secret"));
    // ProxyUser is missing: the proxy stays off.
    Start();
    EXPECT_FALSE(main->ProxyEnabled());
    EXPECT_EQ(main->Ftp().ProxySettings().ProxyType, FtpProxyType::fpcmNone);

    // Complete values: row 0 is the first scheme, not "none"; the password is deciphered.
    main->ApplyProxySettings(true, 0, "proxy.local", 8021, "puser", "secret");
    EXPECT_TRUE(main->ProxyEnabled());
    EXPECT_EQ(main->Ftp().ProxySettings().ProxyType, FtpProxyType::fpcmUserSite);
    EXPECT_EQ(main->Ftp().ProxySettings().Password, "secret");
    // No row chosen: connect directly.
    main->ApplyProxySettings(true, -1, "proxy.local", 8021, "puser", "secret");
    EXPECT_EQ(main->Ftp().ProxySettings().ProxyType, FtpProxyType::fpcmNone);
    main->ApplyProxySettings(true, 8, "proxy.local", 8021, "puser", "secret");
    EXPECT_EQ(main->Ftp().ProxySettings().ProxyType, FtpProxyType::fpcmCustomProxy);
}

TEST_F(TFMainTest, StoredProxyIsDecipheredOnLoad)
{
    auto key = Options();
    key.WriteBool("Proxy", true);
    key.WriteInteger("ProxyType", 3);
    key.WriteString("ProxyAdr", "proxy.local");
    key.WriteInteger("ProxyPort", 8021);
    key.WriteString("ProxyUser", "puser");
    key.WriteString("ProxyPaswd", EncryptSecret("pass word"));
    Start();
    EXPECT_TRUE(main->ProxyEnabled());
    const auto& proxy = main->Ftp().ProxySettings();
    EXPECT_EQ(proxy.ProxyType, FtpProxyType::fpcmUserPass);
    EXPECT_EQ(proxy.Host, "proxy.local");
    EXPECT_EQ(proxy.Port, 8021);
    EXPECT_EQ(proxy.UserName, "puser");
    EXPECT_EQ(proxy.Password, "pass word");
}

TEST_F(TFMainTest, FlagsSecretsAndNamesReadAsTheStoreMeansThem)
{
    auto key = Options();
    key.WriteInteger("SoundOFF", 0);
    key.WriteInteger("NotUseCrypt", 2);   // any non-zero number is on
    key.WriteBool("WindowUnkNown", true); // another tool's spelling of WindowUnknown
    key.WriteString("PlayStart", "\"/sounds/start.wav\"");
    key.WriteString("PIN", EncryptSecret("12345678"));
    key.WriteString("UPIN", EncryptSecret("ABCD1234"));
    key.WriteBool("AutoConnect", true); // never read
    key.WriteInteger("BallonHintCountLines", 3);
    key.WriteInteger("CryptTimeout", 15);
    Start();
    const RuntimeSettings& s = main->Settings();
    EXPECT_FALSE(s.SoundOFF);
    EXPECT_TRUE(s.NotUseCrypt);
    EXPECT_TRUE(s.WindowUnknown);
    EXPECT_EQ(s.PlayStart, "/sounds/start.wav");
    EXPECT_EQ(s.PIN, "12345678");
    EXPECT_EQ(s.UPIN, "ABCD1234");
    EXPECT_EQ(s.BallonHintCountLines, 3);
    EXPECT_EQ(s.CryptTimeout, 15);
}

TEST_F(TFMainTest, SettersCloseTheConnectionOnlyWhenTheServerChanges)
{
    Start();
    main->SetIP("127.0.0.1");
    main->SetPort(2121);
    // Same values again: nothing to close (nothing is logged either way while offline).
    const auto lines = desktop.ProtocolLines.size();
    main->SetIP("127.0.0.1");
    main->SetPort(2121);
    EXPECT_EQ(desktop.ProtocolLines.size(), lines);
    EXPECT_EQ(main->Settings().IP, "127.0.0.1");
    EXPECT_EQ(main->Settings().Port, 2121);
}

TEST_F(TFMainTest, StartUpWithMonitoringWantedInsideTheWindowSwitchesItOn)
{
    const auto postBox = folder / "out";
    std::filesystem::create_directories(postBox);
    auto key = Options();
    key.WriteString("PostBoxOut", postBox.string());
    key.WriteBool("AutoRun", true);
    key.WriteInteger("Interval", 30);
    Start();
    EXPECT_TRUE(main->AutoMonitoring().MonitoringActive());
    EXPECT_TRUE(desktop.MonitoringChecked);
    EXPECT_TRUE(desktop.MonitoringEnabled);
    ASSERT_FALSE(watchers.empty());
    EXPECT_TRUE(watchers[0]->Active());

    // Unticking the item switches monitoring off and stops the watcher.
    main->N3Click(false);
    EXPECT_FALSE(main->AutoMonitoring().MonitoringActive());
    EXPECT_FALSE(watchers[0]->Active());
    EXPECT_FALSE(main->Settings().AutoRun);
}

TEST_F(TFMainTest, StartUpWithMonitoringUnwantedStopsTheWatcherThePostBoxSetterStarted)
{
    const auto postBox = folder / "out";
    std::filesystem::create_directories(postBox);
    Options().WriteString("PostBoxOut", postBox.string());
    Start();
    ASSERT_FALSE(watchers.empty());
    EXPECT_GE(watchers[0]->Activations(), 1);
    EXPECT_FALSE(watchers[0]->Active());
    EXPECT_FALSE(main->AutoMonitoring().MonitoringActive());
}

TEST_F(TFMainTest, AnUnopenableLogEndsStartUpBeforeAnythingElse)
{
    FrontEnd frontEnd{desktop,
                      loop,
                      clock,
                      sound,
                      registry,
                      [this] { return std::unique_ptr<Timer>(clock.MakeTimer()); },
                      [] { return std::make_unique<FakeFolderWatcher>(); }};
    TFMain m(frontEnd, StartupPaths{folder / "no" / "such" / "folder", folder / "absent.db"});
    EXPECT_THROW(m.FormCreate(), std::runtime_error);
    EXPECT_TRUE(desktop.Boxes.empty());
    EXPECT_TRUE(desktop.ProtocolLines.empty());
    EXPECT_FALSE(m.Timer4().Enabled());
}

} // namespace
} // namespace ornel::test
