#include "ui/options/FtpTab.h"

#include "ui/options/OptionsWidgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

namespace ornel
{

using namespace options;

FtpTab::FtpTab(QWidget* parent)
    : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    page->setSpacing(4);

    auto* server = new QGroupBox(QString::fromUtf8("Сервер"), this);
    auto* serverGrid = new QGridLayout(server);
    EIP = MakeEdit("EIP", server);
    // The store holds a signed 32-bit number; the dialog checks no range of its own here.
    EPort = MakeNumber("EPort", 0, std::numeric_limits<int>::max(), server);
    CBPassive = MakeCheckBox("CBPassive", "Пасивный режим", server);
    BCheck = new QPushButton(QString::fromUtf8("Проверка"), server);
    BCheck->setObjectName(QStringLiteral("BCheck"));
    BCheck->setFocusPolicy(Qt::TabFocus);
    BCheck->setAutoDefault(false); // Enter is the dialog's own key: it saves
    EPort->setFixedWidth(80);
    serverGrid->addWidget(MakeLabel("Сервер", server), 0, 0);
    serverGrid->addWidget(EIP, 0, 1, 1, 2);
    serverGrid->addWidget(BCheck, 0, 3);
    serverGrid->addWidget(MakeLabel("Порт", server), 1, 0);
    serverGrid->addWidget(EPort, 1, 1);
    serverGrid->addWidget(CBPassive, 1, 2, 1, 2);
    serverGrid->setColumnStretch(2, 1);
    page->addWidget(server);

    auto* user = new QGroupBox(QString::fromUtf8("Пользователь"), this);
    auto* userGrid = new QGridLayout(user);
    EUser = MakeEdit("EUser", user);
    EPassword = MakeEdit("EPassword", user); // shown in clear, as it is stored
    userGrid->addWidget(MakeLabel("Пользователь", user), 0, 0);
    userGrid->addWidget(EUser, 0, 1);
    userGrid->addWidget(MakeLabel("Пароль", user), 1, 0);
    userGrid->addWidget(EPassword, 1, 1);
    page->addWidget(user);

    auto* folders = new QGroupBox(QString::fromUtf8("Каталоги"), this);
    auto* folderGrid = new QGridLayout(folders);
    EFtpIn = MakeEdit("EFtpIn", folders);
    EFtpOut = MakeEdit("EFtpOut", folders);
    folderGrid->addWidget(MakeLabel("Каталог отправки", folders), 0, 0);
    folderGrid->addWidget(EFtpIn, 0, 1);
    folderGrid->addWidget(MakeLabel("Каталог приема", folders), 1, 0);
    folderGrid->addWidget(EFtpOut, 1, 1);
    page->addWidget(folders);
    for (QGridLayout* grid : {serverGrid, userGrid, folderGrid}) {
        grid->setContentsMargins(8, 4, 8, 6);
        grid->setVerticalSpacing(4);
    }
    page->addStretch();
}

} // namespace ornel
