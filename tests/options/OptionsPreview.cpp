// Shows the options dialog on a sample store and writes a picture of every tab, for the
// screenshot script. Not shipped.
//   options_preview --registry-dir DIR --out DIR
#include "FakeOptionsTarget.h"
#include "ui/options/MultiRowTabs.h"
#include "ui/options/TFOptions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString registry;
    QString out = QStringLiteral(".");
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--registry-dir")) {
            registry = args[++i];
        } else if (args[i] == QLatin1String("--out")) {
            out = args[++i];
        }
    }
    if (registry.isEmpty()) {
        std::fprintf(stderr, "usage: options_preview --registry-dir DIR --out DIR\n");
        return 2;
    }
    QDir().mkpath(out);
    ornel::test::FakeOptionsTarget target(registry.toStdString());
    ornel::TFOptions dialog(target);
    dialog.show();
    QApplication::processEvents();

    const char* names[] = {"ftp",      "temp",     "archive", "postbox", "monitoring",
                           "encoding", "schedule", "proxy",   "extra"};
    auto shoot = [&](const QString& name) {
        QApplication::processEvents();
        const QString file = out + QStringLiteral("/options-") + name + QStringLiteral(".png");
        dialog.grab().save(file);
        std::printf("%s\n", file.toLocal8Bit().constData());
    };
    for (int tab = 0; tab < dialog.PageControl->count(); ++tab) {
        dialog.PageControl->setCurrentIndex(tab);
        shoot(QString::number(tab + 1) + QStringLiteral("-") + QString::fromLatin1(names[tab]));
    }
    // The proxy tab once more with the group in use.
    dialog.PageControl->setCurrentIndex(7);
    dialog.findChild<QCheckBox*>(QStringLiteral("CBProxy"))->setChecked(true);
    dialog.findChild<QComboBox*>(QStringLiteral("CBoxProxyType"))->setCurrentIndex(0);
    shoot(QStringLiteral("8-proxy-on"));
    return 0;
}
