// The "Настройки ФТП" tab of the options dialog: server, user and server directories,
// with the connection test button. UI thread only.
#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace ornel
{

class FtpTab final : public QWidget
{
    Q_OBJECT

public:
    explicit FtpTab(QWidget* parent);

    QLineEdit* EIP;
    QSpinBox* EPort;
    QCheckBox* CBPassive;
    QPushButton* BCheck; // "Проверка"
    QLineEdit* EUser;
    QLineEdit* EPassword;
    QLineEdit* EFtpIn;
    QLineEdit* EFtpOut;
};

} // namespace ornel
