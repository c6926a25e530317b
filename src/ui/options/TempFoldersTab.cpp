#include "ui/options/TempFoldersTab.h"

#include "ui/options/OptionsWidgets.h"
#include "ui/options/PathField.h"

#include <QVBoxLayout>

namespace ornel
{

using namespace options;

TempFoldersTab::TempFoldersTab(QWidget* parent)
    : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    ETempSend = AddFolderRow(page, "ETempSend", "Для отправки", "Временный каталог для отправки", this);
    ETempReciv = AddFolderRow(page, "ETempReciv", "Для получения", "Временный каталог для получения", this);
    page->addStretch();
}

} // namespace ornel
