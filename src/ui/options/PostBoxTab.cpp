#include "ui/options/PostBoxTab.h"

#include "ui/options/OptionsWidgets.h"
#include "ui/options/PathField.h"

#include <QVBoxLayout>

namespace ornel
{

using namespace options;

PostBoxTab::PostBoxTab(QWidget* parent)
    : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    // Both browse with the same title, as the program always has.
    const char* title = "Каталог для отправленных сообщений(Архив)";
    EPostBoxOut = AddFolderRow(page, "EPostBoxOut", "Для отправки", title, this);
    EPostBoxIn = AddFolderRow(page, "EPostBoxIn", "Для получения", title, this);
    page->addStretch();
}

} // namespace ornel
