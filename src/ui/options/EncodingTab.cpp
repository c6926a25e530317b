#include "ui/options/EncodingTab.h"

#include "ui/options/MaskedEdit.h"
#include "ui/options/OptionsWidgets.h"
#include "ui/options/PathField.h"

#include <QGridLayout>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace ornel
{

using namespace options;

namespace
{

MaskedEdit* MakeMasked(const char* name, const char* mask, QWidget* parent)
{
    auto* edit = new MaskedEdit(QString::fromLatin1(mask), parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

} // namespace

EncodingTab::EncodingTab(QWidget* parent)
    : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);

    ECryptProgNew = MakeFileField("ECryptProgNew", "Размещение программы", kProgramFilter, this,
                                  PathField::Browse::Program);
    page->addWidget(MakeLabel("Размещение программы", this));
    page->addWidget(ECryptProgNew);
    page->addSpacing(6);

    auto* grid = new QGridLayout;
    EKodSend = MakeMasked("EKodSend", "99999999", this);
    EPIN = MakeMasked("EPIN", "NNNNNNNN", this);
    EPIN->setEchoMode(QLineEdit::Password);
    EUPIN = MakeMasked("EUPIN", "NNNNNNNN", this);
    EUPIN->setEchoMode(QLineEdit::Password);
    // Wide enough for eight digits and for the eight marks a PIN field shows instead.
    const QFontMetrics metrics = EKodSend->fontMetrics();
    const int codeWidth = std::max(metrics.horizontalAdvance(QStringLiteral("00000000")),
                                   8 * metrics.horizontalAdvance(QChar(EPIN->style()->styleHint(
                                           QStyle::SH_LineEdit_PasswordCharacter, nullptr, EPIN)))) +
                          16;
    for (MaskedEdit* edit : {EKodSend, EPIN, EUPIN}) {
        edit->setFixedWidth(codeWidth);
    }
    grid->addWidget(MakeWrappedLabel("Код получателя./отправителя", this), 0, 0);
    grid->addWidget(EKodSend, 0, 1, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(MakeWrappedLabel("PIN-код устройства наложения печати (смарт-карта)", this), 1, 0);
    grid->addWidget(EPIN, 1, 1, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(MakeWrappedLabel("PIN-код устройства наложения печати (USB SToken)", this), 2, 0);
    grid->addWidget(EUPIN, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
    grid->setColumnStretch(0, 1);
    grid->setVerticalSpacing(8);
    page->addLayout(grid);
    page->addSpacing(6);

    CBoxWindowType =
        MakeList("CBoxWindowType",
                 {"Нормально окно", "Минимизирование окно", "Максимизированое окно", "Скрытое окно"}, this);
    auto* windowRow = new QHBoxLayout;
    windowRow->addWidget(MakeLabel("Открывать окно как:", this));
    windowRow->addWidget(CBoxWindowType, 1);
    page->addLayout(windowRow);
    page->addSpacing(6);

    CBNotUseCrypt = MakeCheckBox("CBNotUseCrypt", "Неиспользовать кодирование!", this);
    page->addWidget(CBNotUseCrypt);
    page->addStretch();
}

} // namespace ornel
