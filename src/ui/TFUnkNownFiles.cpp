#include "ui/TFUnkNownFiles.h"

#include "ui/ImageLists.h"
#include "ui/WindowGeometry.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QMimeDatabase>
#include <QUrl>
#include <QVBoxLayout>

namespace ornel
{

TFUnkNownFiles::TFUnkNownFiles(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
    , m_open([](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); })
{
    setWindowTitle(QString::fromUtf8("Список файлов в папке UnkNown"));
    setWindowIcon(ImageLists::TrayFrame(0));
    resize(444, 270);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Label1 = new QLabel(this);
    Label1->setContentsMargins(4, 3, 4, 3);
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(Label1);
    LV = new QTreeWidget(this);
    LV->setFrameShape(QFrame::NoFrame);
    LV->setRootIsDecorated(false);
    LV->setItemsExpandable(false);
    LV->setUniformRowHeights(true);
    LV->setSelectionBehavior(QAbstractItemView::SelectRows);
    LV->setSelectionMode(QAbstractItemView::SingleSelection);
    LV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LV->setHeaderLabels(
        {QString::fromUtf8("Файл"), QString::fromUtf8("Дата создания"), QString::fromUtf8("Размер")});
    LV->header()->setSectionsClickable(false);
    LV->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    LV->header()->setStretchLastSection(false);
    LV->setIconSize(QSize(16, 16));
    layout->addWidget(LV, 1);
    // Only a double click on an item opens it; one on the empty area has no item.
    connect(LV, &QTreeWidget::itemDoubleClicked, this, [this] { LVDblClick(); });
    CentreOnScreen(*this);
}

QString TFUnkNownFiles::SizeText(std::int64_t bytes)
{
    constexpr std::int64_t kKilo = 1024;
    constexpr std::int64_t kMega = 1024 * 1024;
    if (bytes < kKilo) {
        return QString::number(bytes) + QString::fromUtf8(" байт");
    }
    if (bytes < kMega) {
        return QString::number(bytes / kKilo) + QString::fromUtf8(" КБ");
    }
    return QString::number(bytes / kMega) + QString::fromUtf8(" МБ");
}

QIcon TFUnkNownFiles::FileIcon(const QString& fileName)
{
    // Without a desktop environment no icon theme is chosen; the widespread one that has
    // the generic document, picture and archive icons stands in.
    static const bool themed = [] {
        const QString fallback = QIcon::fallbackThemeName();
        if (fallback.isEmpty() || fallback == QLatin1String("hicolor")) {
            QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
        }
        return true;
    }();
    (void)themed;
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    // A theme may answer with an icon that has no picture at the list's size.
    auto usable = [](const QIcon& candidate) {
        return !candidate.isNull() && !candidate.pixmap(16, 16).isNull();
    };
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (!usable(icon)) {
        icon = QIcon::fromTheme(type.genericIconName());
    }
    if (!usable(icon)) {
        static const QFileIconProvider provider;
        icon = provider.icon(QFileIconProvider::File);
    }
    return icon;
}

void TFUnkNownFiles::FillUnKnOwnList(const QString& folder)
{
    LV->clear();
    m_folderPath = folder;
    Label1->setText(folder);
    const QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        auto* item = new QTreeWidgetItem(LV);
        item->setText(0, entry.fileName());
        item->setText(1, entry.lastModified().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
        item->setText(2, SizeText(entry.size()));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setIcon(0, FileIcon(entry.fileName()));
    }
    show();
    raise();
}

void TFUnkNownFiles::LVDblClick()
{
    const QList<QTreeWidgetItem*> selected = LV->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    m_open(QDir(m_folderPath).filePath(selected.first()->text(0)));
}

} // namespace ornel
