// Shows the desktop's windows filled with sample content, for looking at them and for the
// screenshot script. Not shipped.
//   ui_preview [--registry-dir DIR] [--unknown-dir DIR] [--show WHAT]...
//   WHAT: status, info, about, mess, unknown, balloon, error-balloon, animate
//   ui_preview --render-icons FILE   (every picture at its sizes, on light and dark, as a PNG)
#include "platform/DateTime.h"
#include "platform/RegistryStore.h"
#include "ui/FileListStore.h"
#include "ui/ImageLists.h"
#include "ui/QtDesktop.h"
#include "ui/TFAbout.h"
#include "ui/TFMess.h"
#include "ui/TFUStatus.h"
#include "ui/TFUnkNownFiles.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QPainter>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace
{

class SampleRows final : public ornel::FileListStore
{
public:
    SampleRows()
    {
        auto add = [this](const char* name, const char* dir, std::optional<bool> state, int minute,
                          const char* crypt, const char* plain) {
            ornel::FileListRow row;
            row.ID = static_cast<std::int64_t>(m_rows.size() + 1);
            row.FileName = name;
            row.Direction = dir;
            row.State = state;
            row.DateAdd = ornel::EncodeDateTime({2026, 12, 8, 9, minute, 0, 0});
            row.BackupPathCrypt = crypt;
            row.BackupPath = plain;
            m_rows.push_back(row);
        };
        add("report_1208.txt", "OUT", true, 5, "/depo/arc/send/20261208/report_1208.txt.p7",
            "/depo/arc/send2/20261208/report_1208.txt");
        add("orders.xml", "OUT", std::nullopt, 12, "", "/depo/arc/send2/20261208/orders.xml");
        add("stmt_0042.dat", "IN", true, 20, "/depo/arc/recv/20261208/stmt_0042.dat", "");
        add("notice.txt", "", std::nullopt, 31, "", "");
        add("balance.xml", "IN", true, 44, "/depo/arc/recv/20261208/balance.xml",
            "/depo/arc/recv2/20261208/balance.xml");
    }
    std::vector<ornel::FileListRow> TodayRows() override { return m_rows; }
    void UpdateRow(const ornel::FileListRow& row) override
    {
        for (auto& held : m_rows) {
            if (held.ID == row.ID) {
                held = row;
            }
        }
    }
    std::int64_t InsertRow(const ornel::FileListRow& row) override
    {
        m_rows.push_back(row);
        m_rows.back().ID = static_cast<std::int64_t>(m_rows.size());
        return m_rows.back().ID;
    }
    void DeleteRow(std::int64_t id) override
    {
        std::erase_if(m_rows, [id](const ornel::FileListRow& row) { return row.ID == id; });
    }

private:
    std::vector<ornel::FileListRow> m_rows;
};

const char* const kSampleLog[] = {
    "08.12.2026",
    "09:00:00 Мониторинг: FTP включен, Каталога PostBox включен",
    "Старт прием/передача 08.12.2026 09:05:01",
    "FTP Подключение....",
    "FTP Подключенно...",
    "Прием",
    "Файлы на ФТП",
    "stmt_0042.dat",
    "Всего файлов:1",
    "Принимаем файл stmt_0042.dat 18342 байт",
    "Приняли файл stmt_0042.dat",
    "Расшифровка принятых файлов",
    "stmt_0042.dat Ok!",
    "Передача",
    "Передаем файл report_1208.txt.p7 5120 байт",
    "Передали файл report_1208.txt.p7",
    "Всего файлов: 1",
    "FTP Отключение...",
    "FTP Отключенно",
    "Стоп прием/передача 08.12.2026 09:05:09",
};

// A contact sheet of the pictures, to judge them at the sizes they are shown.
int RenderIcons(const QString& file)
{
    using ornel::ImageLists;
    QImage sheet(520, 260, QImage::Format_ARGB32);
    sheet.fill(QColor(0xf4, 0xf4, 0xf4));
    QPainter p(&sheet);
    p.fillRect(QRect(0, 130, 520, 130), QColor(0x30, 0x30, 0x30));
    for (int band = 0; band < 2; ++band) {
        const int y = band * 130 + 8;
        for (int i = 0; i < ImageLists::kTrayFrameCount; ++i) {
            p.drawPixmap(8 + i * 40, y, ImageLists::TrayFrame(i).pixmap(32, 32));
            p.drawPixmap(8 + i * 40 + 8, y + 40, ImageLists::TrayFrame(i).pixmap(16, 16));
        }
        for (int i = 0; i < ImageLists::kMenuImageCount; ++i) {
            p.drawPixmap(8 + i * 24, y + 66, ImageLists::Menu(i).pixmap(16, 16));
        }
        p.drawPixmap(260, y, ImageLists::Logo());
        p.drawPixmap(430, y, ImageLists::Program());
    }
    p.end();
    return sheet.save(file) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationDisplayName(QStringLiteral("Ornel FTP"));
    const QStringList args = QApplication::arguments();

    if (args.size() == 3 && args[1] == QLatin1String("--render-icons")) {
        return RenderIcons(args[2]);
    }
    QString registryDir;
    QString unknownDir;
    QStringList show;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--registry-dir")) {
            registryDir = args[++i];
        } else if (args[i] == QLatin1String("--unknown-dir")) {
            unknownDir = args[++i];
        } else if (args[i] == QLatin1String("--show")) {
            show << args[++i];
        }
    }

    std::unique_ptr<ornel::RegistryStore> registry;
    if (!registryDir.isEmpty()) {
        registry = std::make_unique<ornel::RegistryStore>(registryDir.toStdString());
    }

    ornel::TrayIcon tray;
    ornel::TFUStatus status(registry.get());
    ornel::TFMess messages;
    ornel::TFUnkNownFiles unknownFiles;
    ornel::QtDesktop desktop(tray, status, messages, unknownFiles);
    SampleRows rows;
    status.SetFileListStore(&rows);
    status.SetSiteOpener([&tray] { tray.BrowseSite(); });
    for (const char* line : kSampleLog) {
        desktop.AppendProtocolLine(line);
    }
    desktop.SetProgressRange(18342);
    desktop.SetProgressPosition(7400);
    desktop.SetMonitoringItemChecked(true);
    desktop.SetMonitoringItemImage(1);

    QObject::connect(&tray, &ornel::TrayIcon::StatusClicked, &status, &ornel::TFUStatus::ShowStatus);
    QObject::connect(&tray, &ornel::TrayIcon::ExitClicked, &app, &QApplication::quit);
    QObject::connect(&tray, &ornel::TrayIcon::MonitoringClicked, &tray, [&desktop](bool on) {
        desktop.SetMonitoringItemChecked(on);
        desktop.SetMonitoringItemImage(on ? 1 : 9);
    });
    QObject::connect(&tray, &ornel::TrayIcon::AboutClicked, &tray, [&registry] {
        ornel::TFAbout about(registry.get());
        about.exec();
    });
    tray.Show();

    std::unique_ptr<ornel::TFAbout> about;
    QTimer::singleShot(300, [&] {
        for (const QString& what : show) {
            if (what == QLatin1String("status")) {
                status.ShowStatus();
                status.PageControl1->setCurrentIndex(0);
            } else if (what == QLatin1String("info")) {
                status.ShowStatus();
                status.PageControl1->setCurrentIndex(1);
            } else if (what == QLatin1String("about")) {
                about = std::make_unique<ornel::TFAbout>(registry.get());
                about->show();
                about->FormActivate();
            } else if (what == QLatin1String("mess")) {
                desktop.AppendMessageWindow(
                    "-----------------------\r\n08.12.2026 09:05:08\r\nОбнаружен файл *.ERR: "
                    "/depo/in/stmt_0042.err\r\nОшибка проверки подписи документа.\r\n"
                    "Документ: stmt_0042.dat\r\n-----------------------\r\n");
            } else if (what == QLatin1String("unknown") && !unknownDir.isEmpty()) {
                desktop.ShowUnKnOwnFiles(unknownDir.toStdString());
            } else if (what == QLatin1String("balloon")) {
                desktop.ShowBalloon(
                    "ORNEL_FTP. ФК \"Корви\"",
                    "Передали файл report_1208.txt.p7\r\nВсего файлов: 1\r\nFTP Отключение...\r\n"
                    "FTP Отключенно\r\nСтоп прием/передача 08.12.2026 09:05:09\r\n",
                    ornel::BalloonIcon::Info, 5000);
            } else if (what == QLatin1String("error-balloon")) {
                desktop.ShowBalloon(
                    "ORNEL_FTP. ФК \"Корви\"",
                    "FTP Подключение....\r\nОшибка: Socket Error # 10061\r\nConnection refused.\r\n",
                    ornel::BalloonIcon::Error, 6000);
            } else if (what == QLatin1String("animate")) {
                desktop.SetTrayAnimated(true);
            }
        }
    });
    std::printf("ui_preview ready\n");
    std::fflush(stdout);
    return QApplication::exec();
}
