#include "ui/options/ProxyTab.h"

#include "ui/options/OptionsWidgets.h"

#include <QAbstractItemView>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

namespace ornel
{

using namespace options;

ProxyTab::ProxyTab(QWidget* parent)
    : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    CBProxy = MakeCheckBox("CBProxy", "Использовать прокси (Тестирование!)", this);
    page->addWidget(CBProxy);

    GBProxy = new QGroupBox(this);
    GBProxy->setObjectName(QStringLiteral("GBProxy"));
    auto* inner = new QVBoxLayout(GBProxy);

    auto* proxy = new QGroupBox(QString::fromUtf8("Прокси"), GBProxy);
    auto* proxyGrid = new QGridLayout(proxy);
    const QString firstRow =
        QStringLiteral("fpcmUserSite //Send command USER user@hostname - USER after login (") +
        QString::fromLatin1(kSchemesPage) + QStringLiteral(")");
    CBoxProxyType = new QComboBox(proxy);
    CBoxProxyType->setObjectName(QStringLiteral("CBoxProxyType"));
    CBoxProxyType->addItems({
        firstRow,
        QStringLiteral("fpcmSite //Send command SITE (with logon)"),
        QStringLiteral("fpcmOpen //Send command OPEN"),
        QStringLiteral("fpcmUserPass//USER user@firewalluser@hostname / PASS pass@firewallpass"),
        QStringLiteral("fpcmTransparent //First use the USER and PASS command with the firewall username and "
                       "password, and then with the target host username and password."),
        QStringLiteral("fpcmUserHostFireWallID  //USER hostuserId@hostname firewallUsername"),
        QStringLiteral("fpcmNovellBorder //Novell BorderManager Proxy"),
        QStringLiteral("fpcmHttpProxyWithFtp //HTTP Proxy with FTP support"),
        QStringLiteral("fpcmCustomProxy // use OnCustomFTPProxy to customize the proxy login"),
    });
    // The rows are far wider than the dialog: the closed list shows what fits, the open
    // list as much of each row as the screen allows.
    CBoxProxyType->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    CBoxProxyType->setMinimumContentsLength(20);
    CBoxProxyType->view()->setTextElideMode(Qt::ElideRight);
    CBoxProxyType->view()->setMinimumWidth(CBoxProxyType->view()->sizeHintForColumn(0) + 8);
    for (int row = 0; row < CBoxProxyType->count(); ++row) {
        CBoxProxyType->setItemData(row, CBoxProxyType->itemText(row), Qt::ToolTipRole);
    }
    EProxyAdr = MakeEdit("EProxyAdr", proxy);
    EProxyPort = MakeNumber("EProxyPort", 1, 65535, proxy);
    proxyGrid->addWidget(MakeLabel("Тип сервера", proxy), 0, 0);
    proxyGrid->addWidget(CBoxProxyType, 0, 1);
    proxyGrid->addWidget(MakeLabel("Адрес", proxy), 1, 0);
    proxyGrid->addWidget(EProxyAdr, 1, 1);
    proxyGrid->addWidget(MakeLabel("Порт", proxy), 2, 0);
    proxyGrid->addWidget(EProxyPort, 2, 1, Qt::AlignLeft);
    proxyGrid->setColumnStretch(1, 1);
    inner->addWidget(proxy);

    auto* user = new QGroupBox(QString::fromUtf8("Пользователь"), GBProxy);
    auto* userGrid = new QGridLayout(user);
    EProxyUser = MakeEdit("EProxyUser", user);
    EProxyPaswd = MakeEdit("EProxyPaswd", user);
    EProxyPaswd->setEchoMode(QLineEdit::Password);
    userGrid->addWidget(MakeLabel("Имя", user), 0, 0);
    userGrid->addWidget(EProxyUser, 0, 1);
    userGrid->addWidget(MakeLabel("Пароль", user), 1, 0);
    userGrid->addWidget(EProxyPaswd, 1, 1);
    inner->addWidget(user);

    page->addWidget(GBProxy);
    page->addStretch();
}

} // namespace ornel
