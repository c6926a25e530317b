#include "ui/options/MonitoringTab.h"

#include "ui/options/OptionsWidgets.h"
#include "ui/options/PathField.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <limits>

namespace ornel
{

using namespace options;

MonitoringTab::MonitoringTab(QWidget* parent)
    : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    page->setSpacing(4);
    constexpr int kMax = std::numeric_limits<int>::max();

    auto* check = new QGroupBox(QString::fromUtf8("Проверка файлов на ФТП"), this);
    auto* checkRow = new QHBoxLayout(check);
    checkRow->setContentsMargins(9, 2, 9, 2);
    EInterval = MakeNumber("EInterval", 0, kMax, check);
    EInterval->setFixedWidth(80);
    checkRow->addWidget(MakeLabel("Интервал проверки", check));
    checkRow->addWidget(EInterval);
    checkRow->addWidget(MakeLabel("мин.", check));
    checkRow->addStretch();
    page->addWidget(check);

    CBAutoRun = MakeCheckBox("CBAutoRun", "Запускать проверку при старте", this);
    page->addWidget(CBAutoRun);

    auto* pauseRow = new QHBoxLayout;
    EPause = MakeNumber("EPause", 0, kMax, this);
    EPause->setFixedWidth(80);
    auto* pauseLabel =
        MakeWrappedLabel("Задержка запуска передачи/приема при обнаружении файлов в каталоге отправки", this);
    pauseRow->addWidget(pauseLabel, 1);
    pauseRow->addWidget(EPause, 0, Qt::AlignBottom);
    pauseRow->addWidget(MakeLabel("с.", this), 0, Qt::AlignBottom);
    page->addLayout(pauseRow);
    page->addSpacing(4);

    CBPlaySound = MakeCheckBox("CBPlaySound", "Звук при начале приема/передачи", this);
    EPlayStart = MakeFileField("EPlayStart", "Звук при начале приема/передачи", kSoundFilter, this);
    page->addWidget(CBPlaySound);
    page->addWidget(EPlayStart);

    CBPlaySoundFTP = MakeCheckBox("CBPlaySoundFTP", "Звук при обнаружении файлов на ФТП", this);
    EPlayFTP = MakeFileField("EPlayFTP", "Звук при обнаружении файлов на ФТП", kSoundFilter, this);
    page->addWidget(CBPlaySoundFTP);
    page->addWidget(EPlayFTP);
    page->addSpacing(4);

    CBSoundOFF = MakeCheckBox("CBSoundOFF", "Отключить использование звуковых эфектов", this);
    page->addWidget(CBSoundOFF);
    page->addStretch();
}

} // namespace ornel
