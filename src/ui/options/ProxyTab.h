// The "Прокси" tab of the options dialog: the proxy switch and the group it enables (mode,
// host, port, user and password). UI thread only.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QSpinBox;

namespace ornel
{

class ProxyTab final : public QWidget
{
    Q_OBJECT

public:
    // A page on FTP proxy login schemes in general, shown with the first mode.
    static constexpr const char* kSchemesPage = "https://en.wikipedia.org/wiki/File_Transfer_Protocol";

    explicit ProxyTab(QWidget* parent);

    QCheckBox* CBProxy;
    QGroupBox* GBProxy; // enabled while CBProxy is ticked
    QComboBox* CBoxProxyType;
    QLineEdit* EProxyAdr;
    QSpinBox* EProxyPort;
    QLineEdit* EProxyUser;
    QLineEdit* EProxyPaswd;
};

} // namespace ornel
