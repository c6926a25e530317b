#include "ui/TFUStatus.h"

#include "platform/RegistryStore.h"
#include "ui/Contacts.h"
#include "ui/FileListModel.h"
#include "ui/ImageLists.h"
#include "ui/JournalGrid.h"
#include "ui/TDBNavigatorRUS.h"
#include "ui/WindowPlacement.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace ornel
{

namespace
{

constexpr int kClientWidth = 593;
constexpr int kClientHeight = 527;
constexpr int kMinimumWidth = 313;
constexpr int kPanelHeight = 50;
constexpr QSize kLogoBox(195, 50);
// Several records in a row (a file's archive copy, its upload) give one reload.
constexpr int kFollowDelayMs = 150;

class ClickableLabel final : public QLabel
{
public:
    ClickableLabel(QWidget* parent, std::function<void()> onClick)
        : QLabel(parent)
        , m_onClick(std::move(onClick))
    {
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            m_onClick();
        }
    }

private:
    std::function<void()> m_onClick;
};

// Keeps the logo centred horizontally whatever the window's width.
class LogoPanel final : public QWidget
{
public:
    using QWidget::QWidget;
    QWidget* Logo = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (Logo != nullptr) {
            Logo->move(width() / 2 - Logo->width() / 2, 0);
        }
    }
};

} // namespace

TFUStatus::TFUStatus(RegistryStore* registry, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint)
    , m_registry(registry)
    , m_openSite([] {})
    , m_confirm([this](const QString& question) {
        return QMessageBox::question(this, QStringLiteral("Confirm"), question,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    })
    , m_showError([this](const QString& message) {
        QMessageBox::critical(this, QString::fromUtf8("Ошибка"), message);
    })
{
    setObjectName(QStringLiteral("FUStatus"));
    setWindowTitle(QString::fromUtf8("Статус выполнения"));
    setWindowIcon(ImageLists::TrayFrame(0));
    setMinimumWidth(kMinimumWidth);
    resize(kClientWidth, kClientHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    PageControl1 = new QTabWidget(this);
    PageControl1->setDocumentMode(false);
    layout->addWidget(PageControl1, 1);
    BuildProtocolPage();
    BuildInfoPage();
    BuildLogoPanel();
    layout->addWidget(Panel1);
    layout->addWidget(Label1);
    PageControl1->setCurrentIndex(0);

    m_follow.setSingleShot(true);
    m_follow.setInterval(kFollowDelayMs);
    connect(&m_follow, &QTimer::timeout, this, [this] {
        if (DBGrid1->Editing() || FileList->Inserting()) {
            m_follow.start(); // the person's edit first
            return;
        }
        RefreshJournal(m_followFile);
    });
}

void TFUStatus::FollowJournal(const std::string& fileName)
{
    m_followFile = fileName;
    // A hidden window is read afresh when it is shown.
    if (isVisible() && !m_follow.isActive()) {
        m_follow.start();
    }
}

void TFUStatus::SetContacts(const Contacts& contacts)
{
    Label1->setText(contacts.Site);
    Label1->setVisible(!contacts.Site.isEmpty());
    Image1->setToolTip(contacts.Site);
}

TFUStatus::~TFUStatus() = default;

void TFUStatus::BuildProtocolPage()
{
    TabSheet1 = new QWidget(PageControl1);
    auto* layout = new QVBoxLayout(TabSheet1);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    Memo1 = new QPlainTextEdit(TabSheet1);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Long paths wrap, as there is only the vertical scroll bar.
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(Memo1, 1);
    PB = new QProgressBar(TabSheet1);
    PB->setFixedHeight(12);
    PB->setTextVisible(false);
    PB->setRange(0, 1);
    PB->setValue(0);
    layout->addWidget(PB);
    PageControl1->addTab(TabSheet1, QString::fromUtf8("Протокол"));
}

void TFUStatus::BuildInfoPage()
{
    TabSheet2 = new QWidget(PageControl1);
    auto* layout = new QVBoxLayout(TabSheet2);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    DBNavigatorRUS1 = new TDBNavigatorRUS(TabSheet2);
    layout->addWidget(DBNavigatorRUS1);
    DBGrid1 = new JournalGrid(TabSheet2);
    FileList = new FileListModel(this);
    FileList->SetErrorHandler([this](const QString& message) { m_showError(message); });
    DBGrid1->setModel(FileList);
    // The designed widths, or more where this desktop's font needs it for the title (and
    // for the whole "dd.mm.yyyy hh:nn" of the date).
    const QFontMetrics header = DBGrid1->horizontalHeader()->fontMetrics();
    const QFontMetrics cells = DBGrid1->fontMetrics();
    const int dateWidth = cells.horizontalAdvance(QStringLiteral("00.00.0000 00:00")) + 14;
    // A path column shows at least the day folder and a name of a usual length; a longer
    // path keeps its end in view (see JournalGrid) and shows whole as a tooltip.
    const int pathWidth =
        std::max(150, cells.horizontalAdvance(QString::fromUtf8("…/00000000/poruchenie_0000.txt")) + 14);
    const std::pair<int, int> widths[] = {{FileListModel::ColFileName, 150},
                                          {FileListModel::ColDateAdd, dateWidth},
                                          {FileListModel::ColDirection, 90},
                                          {FileListModel::ColBackupPathCrypt, pathWidth},
                                          {FileListModel::ColBackupPath, pathWidth}};
    for (const auto& [column, designed] : widths) {
        const QString title = FileList->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        DBGrid1->setColumnWidth(column, std::max(designed, header.horizontalAdvance(title) + 16));
    }
    DBGrid1->setColumnHidden(FileListModel::ColState, true);
    layout->addWidget(DBGrid1, 1);
    PageControl1->addTab(TabSheet2, QString::fromUtf8("Инфо"));

    connect(DBNavigatorRUS1, &TDBNavigatorRUS::Clicked, this,
            [this](TDBNavigatorRUS::Button button) { NavigatorClicked(button); });
    connect(DBGrid1, &JournalGrid::DeleteRequested, this, &TFUStatus::DeleteCurrentRow);
    connect(DBGrid1, &JournalGrid::EditingChanged, this, &TFUStatus::UpdateNavigator);
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now) {
                FileList->SetCurrentRow(now.row());
                UpdateNavigator();
            });
    connect(FileList, &QAbstractItemModel::modelReset, this, &TFUStatus::UpdateNavigator);
    connect(FileList, &QAbstractItemModel::rowsInserted, this, &TFUStatus::UpdateNavigator);
    connect(FileList, &QAbstractItemModel::rowsRemoved, this, &TFUStatus::UpdateNavigator);
    UpdateNavigator();
}

void TFUStatus::BuildLogoPanel()
{
    auto* panel = new LogoPanel(this);
    panel->setFixedHeight(kPanelHeight);
    panel->setMinimumWidth(kPanelHeight);
    panel->setAutoFillBackground(true);
    QPalette white = panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    panel->setPalette(white);
    auto* image = new ClickableLabel(panel, [this] { m_openSite(); });
    image->setFixedSize(kLogoBox);
    image->setAlignment(Qt::AlignCenter);
    const QSize logo =
        QSize(ImageLists::kLogoWidth, ImageLists::kLogoHeight).scaled(kLogoBox, Qt::KeepAspectRatio);
    image->setPixmap(ImageLists::Logo(logo, devicePixelRatioF()));

    panel->Logo = image;
    Panel1 = panel;
    Image1 = image;

    auto* link = new ClickableLabel(this, [this] { m_openSite(); });
    link->setVisible(false); // until the maker's address is known
    link->setAlignment(Qt::AlignCenter);
    QFont font = link->font();
    font.setUnderline(true);
    link->setFont(font);
    QPalette blue = link->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    link->setPalette(blue);
    link->setContentsMargins(0, 2, 0, 3);
    Label1 = link;
}

void TFUStatus::SetFileListStore(FileListStore* store)
{
    FileList->SetStore(store);
    if (FileList->rowCount() > 0) {
        SelectRow(FileList->rowCount() - 1);
    }
}

void TFUStatus::RefreshJournal(const std::string& selectFileName)
{
    const int before = CurrentRow();
    FileList->Reload();
    int row = selectFileName.empty() ? before : FileList->FindRow(selectFileName);
    if (row < 0 || row >= FileList->rowCount()) {
        row = FileList->rowCount() - 1;
    }
    if (row >= 0) {
        SelectRow(row);
    }
}

int TFUStatus::CurrentRow() const
{
    const QModelIndex current = DBGrid1->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TFUStatus::SelectRow(int row)
{
    if (row < 0 || row >= FileList->rowCount()) {
        return;
    }
    const int column = std::max(0, DBGrid1->currentIndex().column());
    DBGrid1->setCurrentIndex(FileList->index(row, column));
    DBGrid1->scrollTo(FileList->index(row, column));
}

void TFUStatus::NavigatorClicked(int button)
{
    const int rows = FileList->rowCount();
    const int row = CurrentRow();
    switch (static_cast<TDBNavigatorRUS::Button>(button)) {
    case TDBNavigatorRUS::First:
        SelectRow(0);
        break;
    case TDBNavigatorRUS::Prior:
        SelectRow(std::max(0, row - 1));
        break;
    case TDBNavigatorRUS::Next:
        SelectRow(std::min(rows - 1, row + 1));
        break;
    case TDBNavigatorRUS::Last:
        SelectRow(rows - 1);
        break;
    case TDBNavigatorRUS::Insert: {
        DBGrid1->CommitEdit();
        const int inserted = FileList->BeginInsert(row < 0 ? 0 : row);
        SelectRow(inserted);
        DBGrid1->edit(FileList->index(inserted, FileListModel::ColFileName));
        break;
    }
    case TDBNavigatorRUS::Delete:
        DeleteCurrentRow();
        break;
    case TDBNavigatorRUS::Edit:
        if (row >= 0) {
            DBGrid1->edit(DBGrid1->currentIndex());
        }
        break;
    case TDBNavigatorRUS::Post: {
        DBGrid1->CommitEdit();
        const std::optional<int> pending = FileList->PendingRow();
        if (pending && FileList->Post()) {
            SelectRow(FileList->rowCount() - 1);
        }
        break;
    }
    case TDBNavigatorRUS::Cancel:
        DBGrid1->CancelEdit();
        FileList->Cancel();
        break;
    case TDBNavigatorRUS::Refresh:
        DBGrid1->CancelEdit();
        RefreshJournal();
        break;
    case TDBNavigatorRUS::ButtonCount:
        break;
    }
    UpdateNavigator();
}

void TFUStatus::DeleteCurrentRow()
{
    const int row = CurrentRow();
    if (row < 0 || !m_confirm(QStringLiteral("Delete record?"))) {
        return;
    }
    DBGrid1->CancelEdit();
    if (FileList->RemoveRow(row)) {
        SelectRow(std::min(row, FileList->rowCount() - 1));
    }
    UpdateNavigator();
}

void TFUStatus::UpdateNavigator()
{
    const int rows = FileList->rowCount();
    const int row = CurrentRow();
    const bool changing = DBGrid1->Editing() || FileList->Inserting();
    DBNavigatorRUS1->SetButtonEnabled(TDBNavigatorRUS::First, rows > 0 && row != 0);
    DBNavigatorRUS1->SetButtonEnabled(TDBNavigatorRUS::Prior, rows > 0 && row != 0);
    DBNavigatorRUS1->SetButtonEnabled(TDBNavigatorRUS::Next, rows > 0 && row != rows - 1);
    DBNavigatorRUS1->SetButtonEnabled(TDBNavigatorRUS::Last, rows > 0 && row != rows - 1);
    DBNavigatorRUS1->SetButtonEnabled(TDBNavigatorRUS::Insert, !FileList->Inserting());
    DBNavigatorRUS1->SetButtonEnabled(TDBNavigatorRUS::Delete, rows > 0);
    DBNavigatorRUS1->SetButtonEnabled(TDBNavigatorRUS::Edit, rows > 0 && !changing);
    DBNavigatorRUS1->SetButtonEnabled(TDBNavigatorRUS::Post, changing);
    DBNavigatorRUS1->SetButtonEnabled(TDBNavigatorRUS::Cancel, changing);
    DBNavigatorRUS1->SetButtonEnabled(TDBNavigatorRUS::Refresh, true);
}

void TFUStatus::AppendProtocolLine(const QString& line)
{
    QString text = line;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Memo1->appendPlainText(text);
}

void TFUStatus::SetProgressRange(std::int64_t maximum)
{
    m_progressMax = std::max<std::int64_t>(0, maximum);
    m_progressPos = std::min(m_progressPos, m_progressMax);
    ApplyProgress();
}

void TFUStatus::SetProgressPosition(std::int64_t position)
{
    m_progressPos = std::clamp<std::int64_t>(position, 0, m_progressMax);
    ApplyProgress();
}

void TFUStatus::ApplyProgress()
{
    // A range of 0..0 turns a QProgressBar into a "busy" animation; an unknown size shows
    // an empty bar instead.
    if (m_progressMax == 0) {
        PB->setRange(0, 1);
        PB->setValue(0);
        return;
    }
    constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();
    const std::int64_t divisor = (m_progressMax + kIntMax - 1) / kIntMax;
    PB->setRange(0, static_cast<int>(m_progressMax / divisor));
    PB->setValue(static_cast<int>(m_progressPos / divisor));
}

int TFUStatus::ScreenPixelsPerInch()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? qRound(screen->logicalDotsPerInch()) : 96;
}

void TFUStatus::ShowStatus()
{
    // Already open: brought forward where the user put it, not sent back to the corner.
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    // With the platform window in place its frame margins are known (where the platform
    // knows them before showing), so the corner and the stored rectangle fit the frame.
    create();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // Width and height of the work area, not its right and bottom edges: with the
        // task bar at the top or left the window ends short of the corner by its size.
        const QRect work = screen->availableGeometry();
        const QSize frame = frameGeometry().size();
        m_wantedFrame = QRect(QPoint(work.width() - frame.width(), work.height() - frame.height()), frame);
        move(m_wantedFrame.topLeft());
    }
    RestorePlacement();
    show();
    raise();
    activateWindow();
    // A window manager may put its frame around the window only now; fit it once more.
    QTimer::singleShot(0, this, [this] { FitFrame(); });
}

void TFUStatus::FitFrame()
{
    if (!m_wantedFrame.isValid() || frameGeometry() == m_wantedFrame || windowState() != Qt::WindowNoState) {
        return;
    }
    const QSize margins = frameGeometry().size() - size();
    resize((m_wantedFrame.size() - margins).expandedTo(QSize(kMinimumWidth, 1)));
    move(m_wantedFrame.topLeft());
}

bool TFUStatus::RestorePlacement()
{
    if (m_registry == nullptr) {
        return false;
    }
    WindowPlacement placement;
    try {
        const RegistryKey key = m_registry->OpenKey(Hive::CurrentUser, kPlacementKey);
        placement = ReadPlacement(key, kTabValueName);
    } catch (const std::exception&) {
        return false; // an unreadable store leaves the computed position
    }
    if ((!placement.NormPos && !placement.MinMaxPos) || placement.PixelsPerInch != ScreenPixelsPerInch()) {
        return false;
    }
    if (placement.NormPos) {
        m_wantedFrame = *placement.NormPos;
        const QSize margins = frameGeometry().size() - size();
        resize((m_wantedFrame.size() - margins).expandedTo(QSize(kMinimumWidth, 1)));
        move(m_wantedFrame.topLeft());
    }
    if (placement.ShowCmd == WindowPlacement::kShowMaximized) {
        setWindowState(Qt::WindowMaximized);
    } else if (placement.ShowCmd == WindowPlacement::kShowMinimized) {
        setWindowState(Qt::WindowMinimized);
    } else {
        setWindowState(Qt::WindowNoState);
    }
    if (placement.TabIndex && *placement.TabIndex >= 0 && *placement.TabIndex < PageControl1->count()) {
        PageControl1->setCurrentIndex(*placement.TabIndex);
    }
    return true;
}

void TFUStatus::SavePlacement()
{
    if (m_registry == nullptr) {
        return;
    }
    WindowPlacement placement;
    if (isMaximized()) {
        placement.ShowCmd = WindowPlacement::kShowMaximized;
    } else if (isMinimized()) {
        placement.ShowCmd = WindowPlacement::kShowMinimized;
    }
    placement.PixelsPerInch = ScreenPixelsPerInch();
    const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : frameGeometry();
    placement.NormPos = normal;
    placement.TabIndex = PageControl1->currentIndex();
    try {
        RegistryBatch batch(*m_registry, Hive::CurrentUser);
        RegistryKey key = m_registry->OpenKey(Hive::CurrentUser, kPlacementKey);
        WritePlacement(key, placement, kTabValueName);
        batch.Commit();
    } catch (const std::exception& error) {
        // Losing the placement only means the corner position next time.
        qWarning("%s", error.what());
    }
}

void TFUStatus::closeEvent(QCloseEvent* event)
{
    DBGrid1->CommitEdit();
    SavePlacement();
    event->accept(); // hides the window; the program keeps running
}

} // namespace ornel
