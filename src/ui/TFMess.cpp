#include "ui/TFMess.h"

#include "ui/ImageLists.h"
#include "ui/WindowGeometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace ornel
{

TFMess::TFMess(QWidget* parent)
    : QWidget(parent, Qt::Tool)
{
    setWindowTitle(QString::fromUtf8("Сообщение"));
    setWindowIcon(ImageLists::TrayFrame(0));
    resize(443, 359);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(Memo1);
    CentreOnScreen(*this);
}

void TFMess::AppendBlock(const QString& text)
{
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (lines.endsWith(QLatin1Char('\n'))) {
        lines.chop(1);
    }
    Memo1->appendPlainText(lines);
    show();
    raise();
}

void CentreOnScreen(QWidget& window)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->geometry();
        window.move(desktop.center() - QPoint(window.width() / 2, window.height() / 2));
    }
}

} // namespace ornel
