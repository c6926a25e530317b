#include "ui/options/ScheduleTab.h"

#include "ui/options/OptionsWidgets.h"
#include "ui/options/TimeField.h"

#include <QGridLayout>
#include <QVBoxLayout>

namespace ornel
{

using namespace options;

ScheduleTab::ScheduleTab(QWidget* parent)
    : QWidget(parent)
{
    static constexpr std::array kDays = {"Понедельник", "Вторник", "Среда",      "Четверг",
                                         "Пятница",     "Суббота", "Воскресенье"};
    auto* page = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(10);
    grid->setHorizontalSpacing(8);
    // Created row by row so that the dialog visits them as CBWeek1, TStart1, TStop1, CBWeek2 ...
    for (std::size_t i = 0; i < kDays.size(); ++i) {
        const QString day = QString::number(i + 1);
        const int row = static_cast<int>(i);
        CBWeek[i] = new QCheckBox(QString::fromUtf8(kDays[i]), this);
        CBWeek[i]->setObjectName(QStringLiteral("CBWeek") + day);
        CBWeek[i]->setProperty(kTagProperty, kScheduleTag);
        TStart[i] = new TimeField(this);
        TStart[i]->setObjectName(QStringLiteral("TStart") + day);
        TStart[i]->setProperty(kTagProperty, kScheduleTag);
        TStop[i] = new TimeField(this);
        TStop[i]->setObjectName(QStringLiteral("TStop") + day);
        TStop[i]->setProperty(kTagProperty, kScheduleTag);
        grid->addWidget(CBWeek[i], row, 0);
        grid->addWidget(MakeLabel("с", this), row, 1, Qt::AlignRight);
        grid->addWidget(TStart[i], row, 2);
        grid->addWidget(MakeLabel("по", this), row, 3, Qt::AlignRight);
        grid->addWidget(TStop[i], row, 4);
    }
    grid->setColumnStretch(0, 1);
    page->addLayout(grid);
    page->addStretch();
}

} // namespace ornel
