// The dialog driving the real controller on fakes: fake clock and timers, recording
// desktop, watchers that report on request, a real store in a temp folder.
#include "FakeOptionsTarget.h"
#include "app/OptionsAdapter.h"
#include "automation/Monitoring.h"
#include "platform/Timer.h"
#include "settings/RegExchange.h"
#include "support/ControllerRig.h"
#include "ui/options/MaskedEdit.h"
#include "ui/options/PathField.h"
#include "ui/options/TFOptions.h"
#include "ui/options/TimeField.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ornel::test
{
namespace
{

// Through the program's own command line when it has been built, else through the same
// functions that the command line calls.
void ExportThenImport(const std::filesystem::path& from, const std::filesystem::path& file,
                      const std::filesystem::path& to)
{
    const QString program = QStringLiteral(ORNEL_FTP_PROGRAM);
    if (!std::filesystem::exists(program.toStdString())) {
        RegistryStore source(from);
        ExportRegistry(source, file);
        RegistryStore target(to);
        ImportRegistry(target, file);
        return;
    }
    auto run = [&](const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForFinished(30000)) << arguments.join(' ').toStdString();
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    };
    run({"--registry-dir", QString::fromStdString(from.string()), "--export-reg",
         QString::fromStdString(file.string())});
    run({"--registry-dir", QString::fromStdString(to.string()), "--import-reg",
         QString::fromStdString(file.string())});
}

// Every named settings field of a dialog with what it holds (times as their full value).
std::map<std::string, std::string> FieldValues(const TFOptions& dialog)
{
    std::map<std::string, std::string> values;
    for (const QWidget* field : dialog.findChildren<QWidget*>()) {
        const std::string name = field->objectName().toStdString();
        if (name.empty() || name.rfind("qt_", 0) == 0) {
            continue;
        }
        if (const auto* time = qobject_cast<const TimeField*>(field)) {
            values[name] = std::to_string(time->Value());
            continue;
        }
        try {
            const OptionsValue value = options::ReadField(field);
            values[name] = std::visit(
                [](const auto& v) {
                    if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string>) {
                        return v;
                    } else {
                        return std::to_string(v);
                    }
                },
                value);
        } catch (const std::logic_error&) {
            // not a settings field (a group, a page, a button)
        }
    }
    return values;
}

// A loopback port on which nobody listens.
int ClosedPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(s);
    return ntohs(address.sin_port);
}

struct OptionsController : ::testing::Test, ControllerRig
{
    OptionsController()
    {
        std::filesystem::create_directories(folder / "out");
        RegistryKey key = Options();
        key.WriteBool("AutoRun", true);
        key.WriteString("PostBoxOut", (folder / "out").string());
        key.WriteString("IP", "127.0.0.1");
        key.WriteInteger("Port", ClosedPort());
        key.WriteString("ArcSend", (folder / "arc").string());
        key.WriteString("ArcReciv", (folder / "arc").string());
    }

    TFMain& Start()
    {
        StartController();
        adapter = std::make_unique<OptionsAdapter>(*main);
        desktop.Boxes.clear(); // the closed journal's box at start-up
        return *main;
    }

    TFOptions& Open()
    {
        dialog = std::make_unique<TFOptions>(*adapter);
        dialog->show();
        QApplication::processEvents();
        return *dialog;
    }

    template <typename W> W& Field(const char* name)
    {
        return *dialog->findChild<W*>(QString::fromLatin1(name));
    }

    [[nodiscard]] bool Logged(const std::string& start) const
    {
        return std::any_of(desktop.ProtocolLines.begin(), desktop.ProtocolLines.end(),
                           [&](const std::string& line) { return line.rfind(start, 0) == 0; });
    }
    FakeFolderWatcher& PostBoxWatcher() { return *watchers.at(0); }

    std::unique_ptr<OptionsAdapter> adapter;
    std::unique_ptr<TFOptions> dialog;
};

TEST_F(OptionsController, ApplyingPauseTwoStartsTheNextWatcherCycleFourSecondsAfterAChange)
{
    Start();
    ASSERT_TRUE(main->AutoMonitoring().MonitoringActive());
    Open();
    Field<QSpinBox>("EPause").setValue(2);
    dialog->BApply->click();
    ASSERT_TRUE(desktop.Boxes.empty()) << desktop.Boxes.front().Text;
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(main->Settings().Pause, 2);

    PostBoxWatcher().Change();
    clock.Advance(std::chrono::milliseconds(3999));
    EXPECT_FALSE(Logged("Старт передача/прием"));
    clock.Advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(Logged("Старт передача/прием"));
}

TEST_F(OptionsController, SavingTodayUntickedSwitchesMonitoringOffAtOnce)
{
    Start();
    ASSERT_TRUE(main->AutoMonitoring().MonitoringActive());
    ASSERT_TRUE(desktop.MonitoringEnabled);
    Open();
    Field<QCheckBox>("CBWeek1").setChecked(false); // Monday
    dialog->BSave->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(main->AutoMonitoring().MonitoringActive());
    EXPECT_FALSE(desktop.MonitoringEnabled);
    EXPECT_FALSE(desktop.MonitoringChecked);
    EXPECT_TRUE(main->Timer4().Enabled());
    // Assigning PostBoxOut starts its watcher again, monitoring or not.
    EXPECT_TRUE(PostBoxWatcher().Active());
    // The user's choice stays as loaded at start-up.
    EXPECT_TRUE(main->Settings().AutoRun);
}

TEST_F(OptionsController, TickingAutoRunTakesEffectOnlyAtTheNextStart)
{
    Options().WriteBool("AutoRun", false);
    Start();
    ASSERT_FALSE(main->AutoMonitoring().MonitoringActive());
    Open();
    Field<QCheckBox>("CBAutoRun").setChecked(true);
    dialog->BSave->click();
    EXPECT_TRUE(Options().ReadBool("AutoRun"));
    EXPECT_FALSE(main->Settings().AutoRun);
    EXPECT_FALSE(main->AutoMonitoring().MonitoringActive());
}

TEST_F(OptionsController, TheConnectionTestWithAWrongAddressShowsTheClientsErrorAndKeepsTheDialog)
{
    Start();
    Open();
    Field<QPushButton>("BCheck").click();
    ASSERT_EQ(desktop.Boxes.size(), 1u);
    EXPECT_EQ(desktop.Boxes[0].Caption, "Ornel FTP");
    EXPECT_EQ(desktop.Boxes[0].Icon, MessageIcon::Error);
    EXPECT_NE(desktop.Boxes[0].Text.find("10061"), std::string::npos) << desktop.Boxes[0].Text;
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(main->IsConnected());
}

TEST_F(OptionsController, SecretsAndSettingsReachTheControllerInClear)
{
    Start();
    Open();
    auto& pin = Field<MaskedEdit>("EPIN");
    pin.SetMaskedText("12345678");
    Field<QLineEdit>("EPassword").setText("pw");
    Field<QCheckBox>("CBProxy").setChecked(true);
    Field<QComboBox>("CBoxProxyType").setCurrentIndex(0);
    Field<QLineEdit>("EProxyAdr").setText("127.0.0.1");
    Field<QLineEdit>("EProxyPaswd").setText("fw");
    dialog->BApply->click();
    ASSERT_TRUE(desktop.Boxes.empty()) << desktop.Boxes.front().Text;
    EXPECT_EQ(Options().ReadString("PIN"), "f9NLMtP8TSc=");
    EXPECT_EQ(main->Settings().PIN, "12345678");
    EXPECT_EQ(main->Settings().Password, "pw");
    EXPECT_TRUE(main->ProxyEnabled());
    EXPECT_EQ(main->Ftp().ProxySettings().ProxyType, FtpProxyType::fpcmUserSite);
    EXPECT_EQ(main->Ftp().ProxySettings().Password, "fw");
}

TEST_F(OptionsController, SettingsSurviveAnExportAndAnImportIntoAFreshStore)
{
    Start();
    Open();
    Field<QLineEdit>("EIP").setText("ftp.depo.example");
    Field<QSpinBox>("EInterval").setValue(15);
    Field<MaskedEdit>("EKodSend").SetMaskedText("00420000");
    Field<MaskedEdit>("EUPIN").SetMaskedText("Zx9     ");
    Field<PathField>("ETempSend").SetText("/var/lib/ornel/отправка");
    Field<QComboBox>("CBoxWindowType").setCurrentIndex(3);
    Field<QCheckBox>("CBWeek6").setChecked(true);
    Field<TimeField>("TStop6").setTime(QTime(13, 45));
    dialog->BSave->click();
    ASSERT_TRUE(desktop.Boxes.empty()) << desktop.Boxes.front().Text;

    const auto file = folder / "settings.reg";
    ExportThenImport(folder / "registry", file, folder / "fresh");
    RegistryStore fresh(folder / "fresh");

    RegistryKey original = Options();
    RegistryKey copy = fresh.OpenKey(Hive::LocalMachine, kOptions);
    ASSERT_EQ(original.ValueNames().size(), 48u + 21u);
    for (const std::string& name : original.ValueNames()) {
        const RegKind kind = original.GetDataInfo(name)->Kind;
        ASSERT_TRUE(copy.ValueExists(name)) << name;
        EXPECT_EQ(copy.GetDataInfo(name)->Kind, kind) << name;
        if (kind == RegKind::Dword) {
            EXPECT_EQ(copy.ReadInteger(name), original.ReadInteger(name)) << name;
        } else if (kind == RegKind::Binary) {
            EXPECT_EQ(copy.ReadBinary(name), original.ReadBinary(name)) << name;
        } else {
            EXPECT_EQ(copy.ReadString(name), original.ReadString(name)) << name;
        }
    }

    // A dialog on the fresh store shows every field as the saving dialog had it.
    FakeOptionsTarget onFresh(folder / "fresh");
    TFOptions shown(onFresh);
    shown.show();
    QApplication::processEvents();
    EXPECT_TRUE(onFresh.Errors.empty());
    const auto before = FieldValues(*dialog);
    ASSERT_GE(before.size(), 47u + 21u);
    EXPECT_EQ(FieldValues(shown), before);
    EXPECT_EQ(Field<TimeField>("TStop6").Value(), 1.0 + (13 * 60 + 45) / 1440.0);
}

} // namespace
} // namespace ornel::test
