#include "OptionsFixture.h"
#include "settings/SecretCipher.h"
#include "ui/options/MaskedEdit.h"
#include "ui/options/MultiRowTabs.h"
#include "ui/options/PathField.h"
#include "ui/options/TimeField.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <map>

namespace ornel::test
{
namespace
{

using Options = OptionsFixture;

std::string Text(const QLineEdit& e)
{
    return e.text().toStdString();
}

TEST_F(Options, FirstOpeningOnAnEmptyStoreShowsEveryDefault)
{
    TFOptions& d = Open();
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Настройки"));
    EXPECT_EQ(d.size(), QSize(400, 422));
    ASSERT_EQ(d.PageControl->count(), 9);
    const char* tabs[] = {"Настройки ФТП", "Временные каталоги",    "Архив сообщений", "Каталог (POST_BOX)",
                          "Мониторинг",    "Настройки кодирования", "Регламент",       "Прокси",
                          "Дополнительно"};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(d.PageControl->tabText(i), QString::fromUtf8(tabs[i]));
    }

    EXPECT_EQ(Text(Field<QLineEdit>("EIP")), "0.0.0.0");
    EXPECT_EQ(Field<QSpinBox>("EPort").value(), 21);
    EXPECT_FALSE(Field<QCheckBox>("CBPassive").isChecked());
    EXPECT_EQ(Text(Field<QLineEdit>("EUser")), "");
    EXPECT_EQ(Field<QLineEdit>("EPassword").echoMode(), QLineEdit::Normal);
    EXPECT_EQ(Text(Field<QLineEdit>("EFtpIn")), "In");
    EXPECT_EQ(Text(Field<QLineEdit>("EFtpOut")), "Out");
    EXPECT_EQ(Field<PathField>("ETempSend").Text(), "");
    EXPECT_EQ(Field<PathField>("ETempSend").BrowseTitle(),
              QString::fromUtf8("Временный каталог для отправки"));
    EXPECT_EQ(Field<PathField>("EArcReciv2").BrowseTitle(),
              QString::fromUtf8("Каталог для отправленных сообщений(Перед шифрованием)(Архив)"));
    EXPECT_EQ(Field<PathField>("EPostBoxOut").Text(), "c:\\DEPO\\POSTBOX\\00010000\\Out");
    EXPECT_EQ(Field<PathField>("EPostBoxIn").Text(), "c:\\DEPO\\POSTBOX\\00010000\\In");
    EXPECT_EQ(Field<QSpinBox>("EInterval").value(), 30);
    EXPECT_FALSE(Field<QCheckBox>("CBAutoRun").isChecked());
    EXPECT_EQ(Field<QSpinBox>("EPause").value(), 5);
    EXPECT_TRUE(Field<QCheckBox>("CBSoundOFF").isChecked());
    EXPECT_EQ(Field<PathField>("ECryptProgNew").Text(), "clbat.exe");
    EXPECT_EQ(Field<PathField>("ECryptProgNew").DialogFilter(),
              QString::fromUtf8("Программы (*);;Исполняемы файлы(*.exe);;All files (*)"));
    EXPECT_EQ(Field<MaskedEdit>("EKodSend").MaskedText(), "00010000");
    EXPECT_EQ(Field<MaskedEdit>("EPIN").MaskedText(), "        ");
    EXPECT_EQ(Field<MaskedEdit>("EPIN").echoMode(), QLineEdit::Password);
    EXPECT_EQ(Field<MaskedEdit>("EUPIN").MaskedText(), "        ");
    EXPECT_EQ(Field<QComboBox>("CBoxWindowType").currentIndex(), 0);
    EXPECT_EQ(Field<QComboBox>("CBoxWindowType").count(), 4);
    EXPECT_FALSE(Field<QCheckBox>("CBNotUseCrypt").isChecked());

    for (int day = 1; day <= 7; ++day) {
        const std::string n = std::to_string(day);
        EXPECT_EQ(Field<QCheckBox>(("CBWeek" + n).c_str()).isChecked(), day <= 5) << day;
        const QString start = Field<TimeField>(("TStart" + n).c_str()).time().toString("HH:mm");
        const QString stop = Field<TimeField>(("TStop" + n).c_str()).time().toString("HH:mm");
        EXPECT_EQ(start, day <= 5 ? "09:30" : "00:00") << day;
        EXPECT_EQ(stop, day <= 4 ? "17:30" : day == 5 ? "16:30" : "00:00") << day;
    }

    EXPECT_FALSE(Field<QCheckBox>("CBProxy").isChecked());
    EXPECT_FALSE(Field<QGroupBox>("GBProxy").isEnabled());
    EXPECT_EQ(Field<QComboBox>("CBoxProxyType").currentIndex(), -1);
    EXPECT_EQ(Field<QComboBox>("CBoxProxyType").count(), 9);
    EXPECT_TRUE(Field<QComboBox>("CBoxProxyType")
                    .itemText(0)
                    .startsWith("fpcmUserSite //Send command USER user@hostname - USER after login ("));
    EXPECT_TRUE(Field<QComboBox>("CBoxProxyType").itemText(0).endsWith(")"));
    EXPECT_EQ(Field<QSpinBox>("EProxyPort").value(), 80);
    EXPECT_EQ(Field<QLineEdit>("EProxyPaswd").echoMode(), QLineEdit::Password);

    EXPECT_FALSE(Field<QCheckBox>("CBUnKnOwnMonitoring").isChecked());
    EXPECT_EQ(Field<PathField>("EUnKnOwn").Text(), "c:\\DEPO\\UnKnOwn");
    EXPECT_EQ(Field<MaskedEdit>("EERRExt").MaskedText(), ".dat");
    EXPECT_TRUE(Field<QCheckBox>("CBShowBallonHint").isChecked());
    EXPECT_FALSE(Field<QSpinBox>("EBallonHintCountLines").isVisible());
    EXPECT_EQ(Field<QSpinBox>("EBallonHintCountLines").value(), 5);
    EXPECT_TRUE(target.Errors.empty());
}

TEST_F(Options, SavingTheDefaultsWritesEveryValueWithItsKindInOrder)
{
    Open();
    dialog->SaveOptions();

    RegistryKey key = Key();
    const std::vector<std::string> names = key.ValueNames();
    ASSERT_EQ(names.size(), 48u + 21u);
    EXPECT_EQ(names.front(), "FtpOut");
    EXPECT_EQ(names[23], "AutoConnect");
    EXPECT_EQ(names[47], "ProxyPaswd");
    EXPECT_EQ(names[48], "Week1");
    EXPECT_EQ(names[49], "Start1");
    EXPECT_EQ(names[50], "Stop1");
    EXPECT_EQ(names.back(), "Stop7");

    const std::string file = StoreText();
    EXPECT_NE(file.find("\"ProxyType\"=dword:ffffffff"), std::string::npos);
    EXPECT_NE(file.find("\"AutoConnect\"=dword:00000000"), std::string::npos);
    EXPECT_NE(file.find("\"SoundOFF\"=dword:00000001"), std::string::npos);
    EXPECT_NE(file.find("\"ProxyPort\"=dword:00000050"), std::string::npos);
    EXPECT_NE(file.find("\"IP\"=\"0.0.0.0\""), std::string::npos);

    EXPECT_EQ(key.GetDataInfo("Port")->Kind, RegKind::Dword);
    EXPECT_EQ(key.GetDataInfo("Passive")->Kind, RegKind::Dword);
    EXPECT_EQ(key.GetDataInfo("KodSend")->Kind, RegKind::Sz);
    EXPECT_EQ(key.GetDataInfo("Start1")->Kind, RegKind::Binary);
    EXPECT_EQ(key.GetDataInfo("Start1")->Size, 8u);
    EXPECT_DOUBLE_EQ(key.ReadFloat("Start1"), 1.0 + 9.5 / 24);
    EXPECT_DOUBLE_EQ(key.ReadFloat("Stop5"), 1.6875);
    EXPECT_DOUBLE_EQ(key.ReadFloat("Stop1"), 1.0 + 17.5 / 24);
    EXPECT_DOUBLE_EQ(key.ReadFloat("Start6"), 1.0);
    EXPECT_TRUE(key.ReadBool("Week5"));
    EXPECT_FALSE(key.ReadBool("Week6"));
    EXPECT_EQ(key.ReadString("ERRExt"), ".dat");
    EXPECT_EQ(key.ReadInteger("BallonHintCountLines"), 5);
    EXPECT_EQ(key.ReadString("KodSend"), "00010000");

    // The secrets go to the store enciphered; the untouched PINs are eight spaces.
    EXPECT_EQ(key.ReadString("PIN"), EncryptSecret("        "));
    EXPECT_EQ(key.ReadString("PIN").size(), 12u);
    EXPECT_EQ(key.ReadString("ProxyPaswd"), "");

    // The schedule is re-read before the setters, which run in their own order with the
    // secrets in clear; AutoRun is stored only; the proxy comes last.
    ASSERT_FALSE(target.Calls.empty());
    EXPECT_EQ(target.Calls.front(), "ReloadSchedule");
    EXPECT_EQ(target.Calls.back(), "Proxy=0,-1,,80,,");
    const std::vector<std::string> order = {"FtpOut",
                                            "FtpIn",
                                            "TempSend",
                                            "TempReciv",
                                            "Interval",
                                            "IP",
                                            "Port",
                                            "User",
                                            "Password",
                                            "PostBoxOut",
                                            "PostBoxIn",
                                            "UnKnOwn",
                                            "UnKnOwnMonitoring",
                                            "ERRMonitoring",
                                            "BallonHintCountLines",
                                            "ShowBallonHint",
                                            "NotUseCrypt",
                                            "ArcSend",
                                            "ArcReciv",
                                            "ArcSend2",
                                            "ArcReciv2",
                                            "CryptProgNew",
                                            "PIN",
                                            "UPIN",
                                            "KodSend",
                                            "WindowType",
                                            "Pause",
                                            "PlaySound",
                                            "PlaySoundFTP",
                                            "PlaySoundERR",
                                            "PlaySoundUnknown",
                                            "PlayStart",
                                            "PlayFTP",
                                            "PlayERR",
                                            "PlayUnknown",
                                            "ERRExt",
                                            "WindowERR",
                                            "WindowUnknown",
                                            "SoundOFF",
                                            "Passive"};
    EXPECT_EQ(target.SetterOrder(), order);
    EXPECT_EQ(target.Handed("PIN"), "        ");
    EXPECT_EQ(target.Handed("SoundOFF"), "1");
}

TEST_F(Options, StoredValuesReadBackAndSaveUnchanged)
{
    {
        RegistryKey key = Key();
        key.WriteString("FtpOut", "depo/out");
        key.WriteString("IP", "ftp.depo.example");
        key.WriteInteger("Port", 2121);
        key.WriteBool("Passive", true);
        key.WriteString("Password", "Пароль 1");
        key.WriteInteger("BallonHintCountLines", 12);
        key.WriteInteger("SoundOFF", 0);
        key.WriteString("PIN", EncryptSecret("AB12cd34"));
        key.WriteString("UPIN", EncryptSecret("0001 0  "));
        key.WriteString("KodSend", "12345678");
        key.WriteString("ERRExt", ".err");
        key.WriteInteger("WindowType", 3);
        key.WriteBool("Proxy", true);
        key.WriteInteger("ProxyType", 4);
        key.WriteInteger("ProxyPort", 3128);
        key.WriteString("ProxyPaswd", EncryptSecret("секрет"));
        key.WriteBool("WindowUnkNown", true); // another tool's spelling of WindowUnknown
        key.WriteInteger("CryptTimeout", 15); // no field shows it; a save keeps it
    }
    // A time written by the dialog before keeps its date part; one with seconds keeps them.
    Key().WriteFloat("Start2", 1.0 + (8 * 3600 + 15 * 60 + 30) / 86400.0);
    Key().WriteFloat("Stop7", 1.0 + 23.0 / 24);
    Key().WriteBool("Week7", true);
    const char* texts[] = {"FtpOut", "IP", "Password", "PIN", "UPIN", "KodSend", "ERRExt", "ProxyPaswd"};
    std::map<std::string, std::string> stored;
    for (const char* name : texts) {
        stored[name] = Key().ReadString(name);
    }

    Open();
    EXPECT_EQ(Text(Field<QLineEdit>("EFtpOut")), "depo/out");
    EXPECT_EQ(Field<QSpinBox>("EPort").value(), 2121);
    EXPECT_TRUE(Field<QCheckBox>("CBPassive").isChecked());
    EXPECT_EQ(Text(Field<QLineEdit>("EPassword")), "Пароль 1");
    EXPECT_FALSE(Field<QCheckBox>("CBSoundOFF").isChecked());
    EXPECT_EQ(Field<MaskedEdit>("EPIN").MaskedText(), "AB12cd34");
    EXPECT_EQ(Field<MaskedEdit>("EUPIN").MaskedText(), "0001 0  ");
    EXPECT_EQ(Field<QComboBox>("CBoxWindowType").currentIndex(), 3);
    EXPECT_TRUE(Field<QGroupBox>("GBProxy").isEnabled());
    EXPECT_EQ(Field<QComboBox>("CBoxProxyType").currentIndex(), 4);
    EXPECT_EQ(Text(Field<QLineEdit>("EProxyPaswd")), "секрет");
    EXPECT_TRUE(Field<QCheckBox>("CBWindowUnknown").isChecked());
    EXPECT_EQ(Field<TimeField>("TStart2").time(), QTime(8, 15, 30));
    EXPECT_TRUE(Field<QCheckBox>("CBWeek7").isChecked());

    dialog->SaveOptions();
    RegistryKey key = Key();
    for (const char* name : texts) {
        EXPECT_EQ(key.ReadString(name), stored[name]) << name;
    }
    EXPECT_EQ(key.ReadInteger("BallonHintCountLines"), 12);
    EXPECT_EQ(key.ReadInteger("ProxyPort"), 3128);
    EXPECT_EQ(key.ReadInteger("CryptTimeout"), 15);
    EXPECT_EQ(key.ReadFloat("Start2"), 1.0 + (8 * 3600 + 15 * 60 + 30) / 86400.0);
    EXPECT_EQ(key.ReadFloat("Stop7"), 1.0 + 23.0 / 24);
    EXPECT_EQ(key.ReadFloat("Start1"), 1.0 + 9.5 / 24);
    // The value keeps the spelling it was created with.
    EXPECT_TRUE(key.ReadBool("WindowUnknown"));
    EXPECT_NE(StoreText().find("\"WindowUnkNown\"=dword:00000001"), std::string::npos);
    EXPECT_EQ(target.Handed("Password"), "Пароль 1");
    EXPECT_EQ(target.Calls.back(), "Proxy=1,4,,3128,,секрет");

    // Saving what was just loaded and saved again changes nothing in the file.
    const std::string afterFirst = StoreText();
    Open();
    dialog->SaveOptions();
    EXPECT_EQ(StoreText(), afterFirst);
}

TEST_F(Options, AStoredTimeGivesOnlyItsTimeOfDay)
{
    Key().WriteFloat("Start3", 46000.75); // 18:00 on a date no picker holds
    Key().WriteFloat("Stop3", -1.25);     // before 1899: 06:00
    Open();
    EXPECT_EQ(Field<TimeField>("TStart3").time(), QTime(18, 0));
    EXPECT_EQ(Field<TimeField>("TStop3").time(), QTime(6, 0));
    dialog->SaveOptions();
    EXPECT_DOUBLE_EQ(Key().ReadFloat("Start3"), 1.75);
    EXPECT_DOUBLE_EQ(Key().ReadFloat("Stop3"), 1.25);
}

TEST_F(Options, AValueOfTheWrongKindEndsTheLoadThere)
{
    Key().WriteString("FtpIn", "upload");
    Key().WriteString("Port", "21"); // text where a number belongs
    Key().WriteString("User", "clerk");
    Open();
    QApplication::processEvents();
    ASSERT_EQ(target.Errors.size(), 1u);
    EXPECT_EQ(target.Errors[0], "Invalid data type for 'Port'");
    EXPECT_EQ(Text(Field<QLineEdit>("EFtpIn")), "upload"); // before Port in the table
    EXPECT_EQ(Field<QSpinBox>("EPort").value(), 21);
    EXPECT_EQ(Text(Field<QLineEdit>("EUser")), ""); // after it: the default
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(Options, AStoreThatCannotBeWrittenFailsAtFtpOutAndAppliesNothing)
{
    // A store folder below a plain file can never be created, not even by root.
    WriteFile(folder / "blocker", "");
    FakeOptionsTarget readOnly(folder / "blocker" / "registry");
    TFOptions d(readOnly);
    d.show();
    QApplication::processEvents();
    EXPECT_TRUE(readOnly.Errors.empty()); // the defaults show, without a word
    try {
        d.SaveOptions();
        FAIL() << "the save went through";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'FtpOut'");
    }
    EXPECT_TRUE(readOnly.Calls.empty());

    // Through the buttons the error goes to the report and the dialog stays.
    d.BSave->click();
    d.BApply->click();
    ASSERT_EQ(readOnly.Errors.size(), 2u);
    EXPECT_EQ(readOnly.Errors[0], "Failed to set data for 'FtpOut'");
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(readOnly.Calls.empty());
}

TEST_F(Options, AFailedReplacementOfTheStoreFileKeepsTheOldValuesAndAppliesNothing)
{
    Key().WriteString("IP", "10.0.0.1");
    Open();
    Field<QLineEdit>("EIP").setText("10.0.0.2");
    // The store file's place is taken by a folder: the replacement at the end of the
    // save fails after every value has been given.
    const auto file = target.Registry().HiveFile(Hive::LocalMachine);
    const std::string before = ReadFile(file);
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    EXPECT_THROW(dialog->SaveOptions(), std::runtime_error);
    EXPECT_TRUE(target.Calls.empty());
    std::filesystem::remove(file);
    WriteFile(file, before);
    EXPECT_EQ(Key().ReadString("IP"), "10.0.0.1");
}

TEST_F(Options, OneSetterFailingDoesNotKeepTheOthersFromTheirValues)
{
    target.FailingSetters = {"PostBoxOut", "Port"};
    Open();
    dialog->BApply->click();
    ASSERT_EQ(target.Errors.size(), 1u);
    EXPECT_EQ(target.Errors[0], "Cannot take Port"); // the first failure is the one reported
    EXPECT_EQ(target.SetterOrder().size(), 40u);
    EXPECT_EQ(target.Calls.back(), "Proxy=0,-1,,80,,");
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(Options, ASecretWithoutAWindows1251FormIsRefusedBeforeAnythingIsWritten)
{
    Open();
    Field<QLineEdit>("EProxyPaswd").setText(QString::fromUtf8("pass\u4e2d"));
    EXPECT_THROW(dialog->SaveOptions(), std::runtime_error);
    EXPECT_FALSE(Key().ValueExists("FtpOut"));
    EXPECT_TRUE(target.Calls.empty());
}

} // namespace
} // namespace ornel::test

namespace ornel::test
{
namespace
{

TEST_F(Options, EveryTabStaysInSightAndTheChosenRowMeetsThePage)
{
    TFOptions& d = Open();
    MultiRowTabs& tabs = *d.PageControl;
    ASSERT_GT(tabs.RowCount(), 1);
    for (int wanted = 0; wanted < tabs.count(); ++wanted) {
        const QRect chosen = tabs.tabRect(wanted);
        QTest::mouseClick(&tabs, Qt::LeftButton, {}, chosen.center());
        ASSERT_EQ(tabs.currentIndex(), wanted);
        int bottom = 0;
        for (int i = 0; i < tabs.count(); ++i) {
            const QRect r = tabs.tabRect(i);
            EXPECT_GE(r.left(), 0) << i;
            EXPECT_LE(r.right(), tabs.width() - 1) << i;
            EXPECT_GE(r.width(), tabs.fontMetrics().horizontalAdvance(tabs.tabText(i))) << i;
            for (int j = i + 1; j < tabs.count(); ++j) {
                EXPECT_FALSE(r.intersects(tabs.tabRect(j))) << i << " " << j;
            }
            bottom = std::max(bottom, r.bottom());
        }
        EXPECT_EQ(tabs.tabRect(wanted).bottom(), bottom) << wanted;
        EXPECT_EQ(tabs.currentWidget(), tabs.widget(wanted));
    }
}

TEST(PathField, TheProgramBrowserOffersThisSystemsProgramsWhateverTheirNames)
{
    TempFolder folder;
    WriteFile(folder / "ornel_crypt", "#!/bin/sh\n");
    std::filesystem::permissions(folder / "ornel_crypt", std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    WriteFile(folder / "notes.txt", "text");
    WriteFile(folder / "clbat.exe", "MZ");
    PathField field(PathField::Browse::Program, QStringLiteral("Программа"),
                    QString::fromUtf8("Исполняемы файлы(*.exe)|*.exe|All files (*.*)|*.*"), nullptr);
    field.SetText(QString::fromStdString((folder / "notes.txt").string()));

    // The names the dialog lists under each filter, read while it is open.
    std::map<QString, QStringList> listed;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto namesShown = [&] {
            QStringList names;
            auto* model = static_cast<QSortFilterProxyModel*>(dialog->proxyModel());
            const auto* files = qobject_cast<QFileSystemModel*>(model->sourceModel());
            const QModelIndex root =
                model->mapFromSource(files->index(QString::fromStdString(folder.Path().string())));
            for (int row = 0; row < model->rowCount(root); ++row) {
                names << model->index(row, 0, root).data().toString();
            }
            names.sort();
            return names;
        };
        for (const QString& filter : dialog->nameFilters()) {
            dialog->selectNameFilter(filter);
            emit dialog->filterSelected(filter);
            QTest::qWait(200); // the file system model fills in the background
            listed[filter] = namesShown();
        }
        dialog->reject();
    });
    QTest::mouseClick(field.BrowseButton(), Qt::LeftButton);

    EXPECT_EQ(listed[QString::fromUtf8(PathField::kProgramsFilter)],
              QStringList{QStringLiteral("ornel_crypt")});
    EXPECT_EQ(listed[QString::fromUtf8("Исполняемы файлы(*.exe)")], QStringList{QStringLiteral("clbat.exe")});
    EXPECT_EQ(listed[QStringLiteral("All files (*)")],
              (QStringList{QStringLiteral("clbat.exe"), QStringLiteral("notes.txt"),
                           QStringLiteral("ornel_crypt")}));
}

} // namespace
} // namespace ornel::test
