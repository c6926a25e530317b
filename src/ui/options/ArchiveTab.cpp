#include "ui/options/ArchiveTab.h"

#include "ui/options/OptionsWidgets.h"
#include "ui/options/PathField.h"

#include <QVBoxLayout>

namespace ornel
{

using namespace options;

ArchiveTab::ArchiveTab(QWidget* parent)
    : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    EArcReciv = AddFolderRow(page, "EArcReciv", "Каталог для отправленных сообщений",
                             "Каталог для отправленных сообщений(Архив)", this);
    EArcSend = AddFolderRow(page, "EArcSend", "Каталог для принятых сообщений",
                            "Каталог для принятых сообщений(Архив)", this);
    EArcReciv2 = AddFolderRow(page, "EArcReciv2", "Каталог для отправленных сообщений(Перед шифрованием)",
                              "Каталог для отправленных сообщений(Перед шифрованием)(Архив)", this);
    EArcSend2 = AddFolderRow(page, "EArcSend2", "Каталог для принятых сообщений (После расшифровки)",
                             "Каталог для принятых сообщений (После расшифровки)(Архив)", this);
    page->addStretch();
}

} // namespace ornel
