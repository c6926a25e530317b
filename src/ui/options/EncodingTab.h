// The "Настройки кодирования" tab of the options dialog: the encryption program, the
// sender code, the two seal-device PINs and the program's window mode. UI thread only.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;

namespace ornel
{

class MaskedEdit;
class PathField;

class EncodingTab final : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char* kProgramFilter = "Исполняемы файлы(*.exe)|*.exe|All files (*.*)|*.*";

    explicit EncodingTab(QWidget* parent);

    PathField* ECryptProgNew;
    MaskedEdit* EKodSend; // exactly eight digits
    MaskedEdit* EPIN;     // eight letters or digits, shown as '*'
    MaskedEdit* EUPIN;
    QComboBox* CBoxWindowType;
    QCheckBox* CBNotUseCrypt;
};

} // namespace ornel
