#include "ui/options/ExtraTab.h"

#include "ui/options/MaskedEdit.h"
#include "ui/options/OptionsWidgets.h"
#include "ui/options/PathField.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace ornel
{

using namespace options;

ExtraTab::ExtraTab(QWidget* parent)
    : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    page->setSpacing(4);

    CBUnKnOwnMonitoring = MakeCheckBox("CBUnKnOwnMonitoring", "Мониторинг папки UnKnOwn", this);
    page->addWidget(CBUnKnOwnMonitoring);
    auto* unknown = new QGridLayout;
    unknown->setContentsMargins(20, 0, 0, 0);
    EUnKnOwn = new PathField(PathField::Browse::Folder, QString::fromUtf8("Папка UnKnOwn"), QString(), this);
    EUnKnOwn->setObjectName(QStringLiteral("EUnKnOwn"));
    CBWindowUnknown = MakeCheckBox("CBWindowUnknown", "Показать всплывающее окно", this);
    CBPlaySoundUnknown = MakeCheckBox("CBPlaySoundUnknown", "Воспроизводить звук", this);
    EPlayUnknown = MakeFileField("EPlayUnknown", "Воспроизводить звук", kSoundFilter, this);
    unknown->addWidget(MakeLabel("Папка UnKnOwn", this), 0, 0);
    unknown->addWidget(EUnKnOwn, 0, 1);
    unknown->addWidget(CBWindowUnknown, 1, 0, 1, 2);
    unknown->addWidget(CBPlaySoundUnknown, 2, 0);
    unknown->addWidget(EPlayUnknown, 2, 1);
    unknown->setColumnStretch(1, 1);
    page->addLayout(unknown);
    page->addSpacing(6);

    CBERRMonitoring = MakeCheckBox("CBERRMonitoring", "Мониторинг файлов с ошибками передачи", this);
    page->addWidget(CBERRMonitoring);
    auto* errors = new QGridLayout;
    errors->setContentsMargins(20, 0, 0, 0);
    CBPlaySoundERR = MakeCheckBox("CBPlaySoundERR", "Звук при приеме файла с ошибками передачи", this);
    EPlayERR = MakeFileField("EPlayERR", "Звук при приеме файла с ошибками передачи", kSoundFilter, this);
    CBWindowERR = MakeCheckBox("CBWindowERR", "Всплывающее окно", this);
    EERRExt = new MaskedEdit(QStringLiteral("\\.NNN"), this);
    EERRExt->setObjectName(QStringLiteral("EERRExt"));
    EERRExt->setFixedWidth(EERRExt->fontMetrics().horizontalAdvance(QStringLiteral(".WWW")) + 16);
    errors->addWidget(CBPlaySoundERR, 0, 0, 1, 2);
    errors->addWidget(EPlayERR, 1, 0, 1, 2);
    errors->addWidget(CBWindowERR, 2, 0, 1, 2);
    errors->addWidget(MakeLabel("Расширение файла ошибок", this), 3, 0);
    errors->addWidget(EERRExt, 3, 1, Qt::AlignLeft);
    errors->setColumnStretch(1, 1);
    page->addLayout(errors);
    page->addSpacing(6);

    CBShowBallonHint = MakeCheckBox("CBShowBallonHint", "Отображать в \"хинте\" последние события", this);
    page->addWidget(CBShowBallonHint);
    EBallonHintCountLines = MakeNumber("EBallonHintCountLines", 1, 20, this);
    EBallonHintCountLines->hide();
    page->addStretch();
}

} // namespace ornel
