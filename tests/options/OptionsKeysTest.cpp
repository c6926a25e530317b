#include "OptionsFixture.h"
#include "ui/options/MaskedEdit.h"
#include "ui/options/MultiRowTabs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

namespace ornel::test
{
namespace
{

struct OptionsKeys : OptionsFixture
{
    TFOptions& OpenActive()
    {
        Open();
        QApplication::setActiveWindow(dialog.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return *dialog;
    }

    void FocusOn(QWidget& field)
    {
        dialog->PageControl->setCurrentWidget(PageOf(field));
        field.setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
    }

    QWidget* PageOf(QWidget& field)
    {
        for (int i = 0; i < dialog->PageControl->count(); ++i) {
            if (dialog->PageControl->widget(i)->isAncestorOf(&field)) {
                return dialog->PageControl->widget(i);
            }
        }
        return nullptr;
    }
};

TEST_F(OptionsKeys, EnterInAnyFieldSavesAndCloses)
{
    for (const char* name : {"EIP", "EPort", "CBPassive", "CBoxWindowType", "EKodSend", "TStart1"}) {
        std::filesystem::remove(target.Registry().HiveFile(Hive::LocalMachine));
        OpenActive();
        auto* field = dialog->findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(field, nullptr) << name;
        FocusOn(*field);
        ASSERT_EQ(QApplication::focusWidget() == field || field->isAncestorOf(QApplication::focusWidget()),
                  true)
            << name;
        if (std::string(name) == "EIP") {
            QTest::keyClicks(field, "1");
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(dialog->result(), QDialog::Accepted) << name;
        EXPECT_FALSE(dialog->isVisible()) << name;
        EXPECT_TRUE(Key().ValueExists("Stop7")) << name;
    }
    EXPECT_EQ(Key().ReadString("IP"), "0.0.0.0");
    EXPECT_TRUE(target.Errors.empty());
}

TEST_F(OptionsKeys, EnterTypedIntoAFieldIsSavedWithIt)
{
    OpenActive();
    QLineEdit& ip = Field<QLineEdit>("EIP");
    FocusOn(ip);
    ip.selectAll();
    QTest::keyClicks(&ip, "192.168.1.5");
    QTest::keyClick(&ip, Qt::Key_Enter); // the keypad's Enter as well
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Key().ReadString("IP"), "192.168.1.5");
    EXPECT_EQ(target.Handed("IP"), "192.168.1.5");
}

TEST_F(OptionsKeys, EscapeAndCancelDiscardEverything)
{
    OpenActive();
    QLineEdit& user = Field<QLineEdit>("EUser");
    FocusOn(user);
    QTest::keyClicks(&user, "clerk");
    QTest::keyClick(&user, Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());

    OpenActive();
    EXPECT_EQ(Field<QLineEdit>("EUser").text(), ""); // nothing reached the store
    Field<QLineEdit>("EUser").setText("clerk");
    dialog->BCancel->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(Key().ValueExists("User"));
    EXPECT_TRUE(target.Calls.empty());
}

TEST_F(OptionsKeys, ApplyKeepsTheDialogOpenAndHandsTheNewPause)
{
    OpenActive();
    Field<QSpinBox>("EPause").setValue(2);
    dialog->BApply->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Key().ReadInteger("Pause"), 2);
    EXPECT_EQ(target.Handed("Pause"), "2");
    // Applied again, and then saved: each writes once more.
    Field<QSpinBox>("EPause").setValue(3);
    dialog->BSave->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(target.Handed("Pause"), "3");
    EXPECT_EQ(std::count(target.Calls.begin(), target.Calls.end(), "ReloadSchedule"), 2);
}

TEST_F(OptionsKeys, TheProxyGroupFollowsItsCheckBoxAndIsSavedEitherWay)
{
    OpenActive();
    QCheckBox& proxy = Field<QCheckBox>("CBProxy");
    QGroupBox& group = Field<QGroupBox>("GBProxy");
    EXPECT_FALSE(group.isEnabled());
    EXPECT_FALSE(Field<QLineEdit>("EProxyAdr").isEnabled());
    proxy.click();
    EXPECT_TRUE(group.isEnabled());
    EXPECT_TRUE(Field<QSpinBox>("EProxyPort").isEnabled());
    Field<QComboBox>("CBoxProxyType").setCurrentIndex(2);
    Field<QLineEdit>("EProxyAdr").setText("proxy.example");
    Field<QLineEdit>("EProxyUser").setText("fw");
    Field<QLineEdit>("EProxyPaswd").setText("fwpass");
    proxy.click();
    EXPECT_FALSE(group.isEnabled());
    dialog->SaveOptions();
    EXPECT_FALSE(Key().ReadBool("Proxy"));
    EXPECT_EQ(Key().ReadInteger("ProxyType"), 2);
    EXPECT_EQ(Key().ReadString("ProxyAdr"), "proxy.example");
    EXPECT_EQ(target.Calls.back(), "Proxy=0,2,proxy.example,80,fw,fwpass");
    // The port field keeps to its range.
    Field<QSpinBox>("EProxyPort").setValue(70000);
    EXPECT_EQ(Field<QSpinBox>("EProxyPort").value(), 65535);
    Field<QSpinBox>("EProxyPort").setValue(0);
    EXPECT_EQ(Field<QSpinBox>("EProxyPort").value(), 1);
}

TEST_F(OptionsKeys, MaskedFieldsTakeOnlyFittingCharactersAndKeepPositions)
{
    OpenActive();
    MaskedEdit& kod = Field<MaskedEdit>("EKodSend");
    FocusOn(kod);
    kod.SetMaskedText("");
    kod.setCursorPosition(0);
    QTest::keyClicks(&kod, "12a-3");
    EXPECT_EQ(kod.MaskedText(), "123     ");

    MaskedEdit& pin = Field<MaskedEdit>("EPIN");
    FocusOn(pin);
    pin.setCursorPosition(0);
    QTest::keyClicks(&pin, "aZ-9.");
    EXPECT_EQ(pin.MaskedText(), "aZ9     ");
    // A position left out stays a space where it is.
    pin.SetMaskedText("");
    pin.setCursorPosition(3);
    QTest::keyClicks(&pin, "x");
    EXPECT_EQ(pin.MaskedText(), "   x    ");

    MaskedEdit& ext = Field<MaskedEdit>("EERRExt");
    ext.SetMaskedText(".   ");
    EXPECT_EQ(ext.MaskedText(), ".   ");
    ext.SetMaskedText("err"); // no dot: fitted in after the literal
    EXPECT_EQ(ext.MaskedText(), ".err");
    ext.SetMaskedText(".t a");
    EXPECT_EQ(ext.MaskedText(), ".t a");
    EXPECT_FALSE(ext.isModified());
}

TEST_F(OptionsKeys, AnEditedMaskedFieldMustBeCompleteBeforeTheFocusLeaves)
{
    OpenActive();
    MaskedEdit& kod = Field<MaskedEdit>("EKodSend");
    FocusOn(kod);
    kod.selectAll();
    QTest::keyClick(&kod, Qt::Key_Backspace);
    QTest::keyClicks(&kod, "123");
    ASSERT_TRUE(kod.NeedsCompletion());

    Field<MaskedEdit>("EPIN").setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), &kod);
    ASSERT_EQ(target.Errors.size(), 1u);
    EXPECT_EQ(target.Errors[0], "Invalid input value.  Use escape key to abandon changes");

    // Another tab: the field's own tab comes back with it.
    dialog->PageControl->setCurrentIndex(0);
    QApplication::processEvents();
    EXPECT_EQ(dialog->PageControl->currentWidget(), PageOf(kod));
    EXPECT_EQ(QApplication::focusWidget(), &kod);
    EXPECT_EQ(target.Errors.size(), 2u);

    // Neither Enter nor the buttons save around it.
    QTest::keyClick(&kod, Qt::Key_Return);
    dialog->BApply->click();
    QApplication::processEvents();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(Key().ValueExists("KodSend"));
    EXPECT_EQ(target.Errors.size(), 4u);

    // Filled in, it lets the focus go; Escape still abandons everything.
    kod.setCursorPosition(3);
    QTest::keyClicks(&kod, "45678");
    EXPECT_EQ(kod.MaskedText(), "12345678");
    QLineEdit& pin = Field<MaskedEdit>("EPIN");
    pin.setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), &pin);
    EXPECT_EQ(target.Errors.size(), 4u);
}

TEST_F(OptionsKeys, AnUntouchedIncompleteFieldLetsTheFocusGoAndSavesItsSpaces)
{
    OpenActive();
    MaskedEdit& pin = Field<MaskedEdit>("EPIN");
    FocusOn(pin);
    Field<MaskedEdit>("EUPIN").setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), &Field<MaskedEdit>("EUPIN"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(target.Errors.empty());
    EXPECT_EQ(target.Handed("PIN"), "        ");
}

TEST_F(OptionsKeys, TheConnectionTestUsesTheControllerAndReportsTheClientsError)
{
    OpenActive();
    target.OnConnect = [] { throw std::runtime_error("Socket Error # 11001\nHost not found."); };
    Field<QPushButton>("BCheck").click();
    EXPECT_EQ(target.Calls, (std::vector<std::string>{"ConnectFtp", "DisconnectFtp"}));
    EXPECT_EQ(target.Errors, std::vector<std::string>{"Socket Error # 11001\nHost not found."});
    EXPECT_TRUE(target.InformationBoxes.empty());
    EXPECT_TRUE(dialog->isVisible());

    target.Calls.clear();
    target.Errors.clear();
    target.OnConnect = nullptr;
    Field<QPushButton>("BCheck").click();
    // Disconnected before the box: a cycle the timers start meanwhile keeps its connection.
    EXPECT_EQ(target.Calls, (std::vector<std::string>{"ConnectFtp", "DisconnectFtp"}));
    EXPECT_EQ(target.InformationBoxes, std::vector<std::string>{"Проверка соединения с FTP сервером: "
                                                                "Соединение с FTP сервером установленно"});

    target.Calls.clear();
    target.InformationBoxes.clear();
    target.Connected = true;
    Field<QPushButton>("BCheck").click();
    EXPECT_TRUE(target.Calls.empty());
    EXPECT_TRUE(target.InformationBoxes.empty());
    EXPECT_TRUE(target.Errors.empty());
}

TEST(OptionsWindow, OpenOptionsShowsOneDialogAtATimeAndReleasesIt)
{
    TempFolder folder;
    FakeOptionsTarget target(folder / "registry");
    auto dialogs = [] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            n += w->objectName() == TFOptions::kObjectName ? 1 : 0;
        }
        return n;
    };
    int seen = -1;
    QTimer::singleShot(0, [&] {
        TFOptions::OpenOptions(target); // already open: returns at once
        seen = dialogs();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == TFOptions::kObjectName) {
                static_cast<QDialog*>(w)->reject();
            }
        }
    });
    TFOptions::OpenOptions(target);
    EXPECT_EQ(seen, 1);
    QApplication::processEvents();
    EXPECT_EQ(dialogs(), 0);
}

} // namespace
} // namespace ornel::test
