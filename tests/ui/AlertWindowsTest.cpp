#include "platform/RegistryStore.h"
#include "support/TempFolder.h"
#include "ui/Contacts.h"
#include "ui/QtDesktop.h"
#include "ui/TFAbout.h"
#include "ui/TFMess.h"
#include "ui/TFUStatus.h"
#include "ui/TFUnkNownFiles.h"
#include "ui/TrayIcon.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <filesystem>
#include <gtest/gtest.h>

namespace ornel::test
{
namespace
{

TEST(TFUnkNownFiles, SizeTextsUseWholeUnits)
{
    EXPECT_EQ(TFUnkNownFiles::SizeText(0), QString::fromUtf8("0 байт"));
    EXPECT_EQ(TFUnkNownFiles::SizeText(1023), QString::fromUtf8("1023 байт"));
    EXPECT_EQ(TFUnkNownFiles::SizeText(1024), QString::fromUtf8("1 КБ"));
    EXPECT_EQ(TFUnkNownFiles::SizeText(1535), QString::fromUtf8("1 КБ"));
    EXPECT_EQ(TFUnkNownFiles::SizeText(1048575), QString::fromUtf8("1023 КБ"));
    EXPECT_EQ(TFUnkNownFiles::SizeText(1048576), QString::fromUtf8("1 МБ"));
    EXPECT_EQ(TFUnkNownFiles::SizeText(5000000), QString::fromUtf8("4 МБ"));
    EXPECT_EQ(TFUnkNownFiles::SizeText(5LL * 1024 * 1024 * 1024), QString::fromUtf8("5120 МБ"));
}

TEST(TFUnkNownFiles, ListsTheFilesOfTheDayFolderButNotItsSubfolders)
{
    TempFolder folder;
    const std::filesystem::path day = folder / "20261208";
    std::filesystem::create_directories(day / "inner");
    WriteFile(day / "report.xml", std::string(1536, 'x'));
    WriteFile(day / "noext", "abc");
    WriteFile(day / "inner" / "deep.txt", "not listed");
    const QString dayFolder = QString::fromStdString(day.string());

    TFUnkNownFiles window;
    std::vector<QString> opened;
    window.SetOpener([&](const QString& path) { opened.push_back(path); });
    window.FillUnKnOwnList(dayFolder);

    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.Label1->text(), dayFolder);
    EXPECT_EQ(window.FolderPath(), dayFolder);
    ASSERT_EQ(window.LV->topLevelItemCount(), 2);
    std::map<QString, QTreeWidgetItem*> items;
    for (int i = 0; i < 2; ++i) {
        items[window.LV->topLevelItem(i)->text(0)] = window.LV->topLevelItem(i);
    }
    ASSERT_TRUE(items.count(QStringLiteral("report.xml")));
    EXPECT_EQ(items[QStringLiteral("report.xml")]->text(2), QString::fromUtf8("1 КБ"));
    EXPECT_EQ(items[QStringLiteral("noext")]->text(2), QString::fromUtf8("3 байт"));
    EXPECT_TRUE(items[QStringLiteral("report.xml")]->text(1).contains(
        QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"))));
    EXPECT_FALSE(items[QStringLiteral("report.xml")]->icon(0).isNull());

    // Nothing selected: a double click does nothing.
    window.LV->clearSelection();
    window.LVDblClick();
    EXPECT_TRUE(opened.empty());
    items[QStringLiteral("report.xml")]->setSelected(true);
    window.LVDblClick();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QDir(dayFolder).filePath(QStringLiteral("report.xml")));

    // The next alert rebuilds the list; a folder that is gone gives an empty one.
    window.FillUnKnOwnList(QString::fromStdString((folder / "20261209").string()));
    EXPECT_EQ(window.LV->topLevelItemCount(), 0);
    EXPECT_TRUE(window.isVisible());
}

TEST(TFMess, BlocksAreAppendedAndTheWindowShown)
{
    TrayIcon tray;
    TFUStatus status(nullptr);
    TFMess messages;
    TFUnkNownFiles files;
    QtDesktop desktop(tray, status, messages, files);
    EXPECT_FALSE(messages.isVisible());

    desktop.AppendMessageWindow("-----------------------\r\nОбнаружен файл *.ERR: /in/a.dat\r\nline\r\n");
    desktop.AppendMessageWindow("second\r\n");
    EXPECT_TRUE(messages.isVisible());
    EXPECT_EQ(messages.Memo1->toPlainText(),
              QString::fromUtf8("-----------------------\nОбнаружен файл *.ERR: /in/a.dat\nline\nsecond"));
    EXPECT_FALSE(messages.Memo1->isReadOnly());
    EXPECT_EQ(messages.windowTitle(), QString::fromUtf8("Сообщение"));
}

TEST(TFAbout, CountersAreReadAtEachActivationWithTwoDecimalsAndAComma)
{
    EXPECT_EQ(TFAbout::CounterText(12, 1536.5), QString::fromUtf8("12 (1536,50 Кб)"));
    EXPECT_EQ(TFAbout::CounterText(0, 0), QString::fromUtf8("0 (0,00 Кб)"));
    EXPECT_EQ(TFAbout::CounterText(-2147483647 - 1, 0.005), QString::fromUtf8("-2147483648 (0,01 Кб)"));

    TempFolder folder;
    RegistryStore registry(folder.Path());
    TFAbout about(&registry);
    std::vector<QString> errors;
    about.SetErrorBox([&](const QString& message) { errors.push_back(message); });

    about.FormActivate();
    EXPECT_EQ(about.LRecive->text(), QString::fromUtf8("0 (0,00 Кб)"));
    EXPECT_EQ(about.LSend->text(), QString::fromUtf8("0 (0,00 Кб)"));
    EXPECT_EQ(about.Version->text(), QStringLiteral(ORNEL_VERSION));
    EXPECT_EQ(about.ProductName->text(), QStringLiteral("Ornel FTP"));
    EXPECT_FALSE(about.Copyright->text().isEmpty());

    {
        RegistryKey key = registry.OpenKey(Hive::LocalMachine, "SOFTWARE\\RUX\\ORNEL_FTP");
        key.WriteInteger("FileReciveCount", 12);
        key.WriteFloat("FileReciveSize", 1536.5);
        key.WriteInteger("FileSendCount", 3);
        key.WriteFloat("FileSendSize", 0.09765625);
    }
    // Counted meanwhile: not shown until the window is activated again.
    EXPECT_EQ(about.LRecive->text(), QString::fromUtf8("0 (0,00 Кб)"));
    about.FormActivate();
    EXPECT_EQ(about.LRecive->text(), QString::fromUtf8("12 (1536,50 Кб)"));
    EXPECT_EQ(about.LSend->text(), QString::fromUtf8("3 (0,10 Кб)"));
    EXPECT_TRUE(errors.empty());

    // A value of the wrong kind is reported once; the texts read before it stay.
    {
        RegistryKey key = registry.OpenKey(Hive::LocalMachine, "SOFTWARE\\RUX\\ORNEL_FTP");
        key.WriteString("FileSendCount", "many");
    }
    about.FormActivate();
    about.FormActivate();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(about.LRecive->text(), QString::fromUtf8("12 (1536,50 Кб)"));
    EXPECT_EQ(about.windowTitle(), QString::fromUtf8("О программе"));

    // Showing fills the texts even where the window is never activated.
    TFAbout shown(&registry);
    shown.SetErrorBox([&](const QString& message) { errors.push_back(message); });
    shown.show();
    EXPECT_EQ(shown.LRecive->text(), QString::fromUtf8("12 (1536,50 Кб)"));
    EXPECT_EQ(shown.Version->text(), QStringLiteral(ORNEL_VERSION));
    shown.hide();
}

TEST(TFAbout, ModalAtItsSizeShowingOnlyTheContactsTheFileSets)
{
    TempFolder folder;
    // What the program ships: every name present, nothing set.
    WriteFile(folder / "shipped.txt", "# comment\nsite =\nmail =\nsupport_phone =\n");
    const Contacts none = Contacts::Read(folder / "shipped.txt");
    EXPECT_TRUE(none.Site.isEmpty() && none.Mail.isEmpty() && none.SupportPhone.isEmpty());
    EXPECT_TRUE(none.SiteUrl().isEmpty());
    EXPECT_TRUE(Contacts::Read(folder / "absent.txt").Site.isEmpty());

    TFAbout empty(nullptr, none);
    EXPECT_EQ(empty.size(), QSize(408, 358));
    EXPECT_EQ(empty.windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(empty.findChildren<QGroupBox*>().size() == 1); // "Статистика" alone

    WriteFile(folder / "site.txt", "support_contact = Иванов И. И.\n  Support_Phone=+7 495 000\n"
                                   "depository_ftp_phone = 8 800\nunknown = x\n# site = www.old.ru\n"
                                   "site = www.example.ru/ornel\n");
    const Contacts some = Contacts::Read(folder / "site.txt");
    EXPECT_EQ(some.SupportContact, QString::fromUtf8("Иванов И. И."));
    EXPECT_EQ(some.SupportPhone, QStringLiteral("+7 495 000"));
    EXPECT_EQ(some.SiteUrl(), QUrl(QStringLiteral("https://www.example.ru/ornel")));
    TFAbout about(nullptr, some);
    EXPECT_EQ(about.size(), QSize(408, 358));
    QStringList texts;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains(QString::fromUtf8("Иванов И. И.")));
    EXPECT_TRUE(texts.contains(QStringLiteral("+7 495 000")));
    EXPECT_TRUE(texts.contains(QStringLiteral("8 800")));
    // Unset numbers are not shown, not even their captions.
    EXPECT_FALSE(texts.contains(QString::fromUtf8("Мессенджер:")));
    EXPECT_FALSE(texts.contains(QString::fromUtf8("Шифрование:")));
    EXPECT_EQ(about.findChildren<QGroupBox*>().size(), 3);
}

} // namespace
} // namespace ornel::test
