#include "platform/DateTime.h"
#include "platform/RegistryStore.h"
#include "support/FakeClock.h"
#include "support/TempFolder.h"
#include "ui/FileListModel.h"
#include "ui/FileListStore.h"
#include "ui/JournalGrid.h"
#include "ui/TDBNavigatorRUS.h"
#include "ui/TFUStatus.h"
#include "ui/WindowPlacement.h"

#include <QColor>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <stdexcept>

namespace ornel::test
{
namespace
{

// Today's rows in memory; can be told to refuse the next change.
class MemoryFileList final : public FileListStore
{
public:
    std::vector<FileListRow> TodayRows() override { return Rows; }
    void UpdateRow(const FileListRow& row) override
    {
        Check();
        for (FileListRow& held : Rows) {
            if (held.ID == row.ID) {
                held = row;
            }
        }
        ++Updates;
    }
    std::int64_t InsertRow(const FileListRow& row) override
    {
        Check();
        FileListRow stored = row;
        stored.ID = ++m_lastId;
        if (stored.DateAdd == 0) {
            stored.DateAdd = 46000.5;
        }
        Rows.push_back(stored);
        return stored.ID;
    }
    void DeleteRow(std::int64_t id) override
    {
        Check();
        std::erase_if(Rows, [id](const FileListRow& row) { return row.ID == id; });
    }
    FileListRow& Add(const std::string& name, std::optional<bool> state)
    {
        FileListRow row;
        row.ID = ++m_lastId;
        row.FileName = name;
        row.DateAdd = EncodeDateTime({2026, 12, 8, 14, 5, 9, 0});
        row.Direction = "OUT";
        row.State = state;
        Rows.push_back(row);
        return Rows.back();
    }

    std::vector<FileListRow> Rows;
    bool Refuse = false;
    int Updates = 0;

private:
    void Check() const
    {
        if (Refuse) {
            throw std::runtime_error("database is locked");
        }
    }
    std::int64_t m_lastId = 0;
};

TEST(TFUStatus, ProtocolMemoTakesLinesAndSplitsLineBreaks)
{
    TFUStatus status(nullptr);
    EXPECT_TRUE(status.Memo1->isReadOnly());
    status.AppendProtocolLine(QStringLiteral("08.12.2026"));
    status.AppendProtocolLine(QString::fromUtf8("Файлы на ФТП\r\na.txt\r\nb.txt"));
    EXPECT_EQ(status.Memo1->toPlainText(), QString::fromUtf8("08.12.2026\nФайлы на ФТП\na.txt\nb.txt"));
    EXPECT_EQ(status.Memo1->document()->blockCount(), 4);
}

TEST(TFUStatus, ProgressBarScalesSixtyFourBitSizesAndNeverShowsBusy)
{
    TFUStatus status(nullptr);
    // Unknown size: an empty bar, not the endless "busy" animation of a 0..0 range.
    status.SetProgressRange(0);
    EXPECT_EQ(status.PB->maximum(), 1);
    EXPECT_EQ(status.PB->value(), 0);

    status.SetProgressRange(1000);
    status.SetProgressPosition(250);
    EXPECT_EQ(status.PB->maximum(), 1000);
    EXPECT_EQ(status.PB->value(), 250);
    EXPECT_EQ(status.ProgressMaximum(), 1000);

    const std::int64_t tenGiB = 10LL * 1024 * 1024 * 1024;
    status.SetProgressRange(tenGiB);
    status.SetProgressPosition(tenGiB / 4);
    EXPECT_LE(status.PB->maximum(), std::numeric_limits<int>::max());
    EXPECT_GT(status.PB->maximum(), 0);
    EXPECT_NEAR(static_cast<double>(status.PB->value()) / status.PB->maximum(), 0.25, 1e-6);
    EXPECT_EQ(status.ProgressMaximum(), tenGiB);
    status.SetProgressPosition(tenGiB);
    EXPECT_EQ(status.PB->value(), status.PB->maximum());

    // Out-of-range positions stay inside the bar.
    status.SetProgressPosition(tenGiB * 2);
    EXPECT_EQ(status.ProgressPosition(), tenGiB);
    status.SetProgressPosition(-5);
    EXPECT_EQ(status.PB->value(), 0);
}

TEST(TFUStatus, GridShowsTodaysRowsWithTitlesAndPaintsRowsWithoutStateRed)
{
    MemoryFileList store;
    store.Add("a.txt", std::nullopt);
    store.Add("b.txt", false);
    FileListRow& done = store.Add("c.txt", true);
    done.BackupPath = "/arc/c.txt";
    TFUStatus status(nullptr);
    status.SetFileListStore(&store);
    FileListModel& model = *status.FileList;

    ASSERT_EQ(model.rowCount(), 3);
    QStringList titles;
    for (int c = 0; c < model.columnCount(); ++c) {
        titles << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    }
    EXPECT_EQ(titles,
              (QStringList{QString::fromUtf8("Имя файла"), QString::fromUtf8("Дата"),
                           QString::fromUtf8("Направление"), QString::fromUtf8("Архив (Зашифрованая)"),
                           QString::fromUtf8("Архив (Незашифрованый)"), QString::fromUtf8("Состояние")}));
    EXPECT_TRUE(status.DBGrid1->isColumnHidden(FileListModel::ColState));
    // At least the designed width, and never narrower than the column's title.
    const QFontMetrics header = status.DBGrid1->horizontalHeader()->fontMetrics();
    for (int c = 0; c < FileListModel::ColState; ++c) {
        EXPECT_GT(status.DBGrid1->columnWidth(c), header.horizontalAdvance(titles[c])) << c;
    }
    EXPECT_GE(status.DBGrid1->columnWidth(FileListModel::ColFileName), 150);
    EXPECT_GE(status.DBGrid1->columnWidth(FileListModel::ColBackupPath), 150);
    // A path that does not fit keeps its end in view and shows whole as a tooltip.
    EXPECT_EQ(model.index(2, FileListModel::ColBackupPath).data(Qt::ToolTipRole).toString(),
              QStringLiteral("/arc/c.txt"));
    EXPECT_EQ(model.index(0, FileListModel::ColDateAdd).data().toString(),
              QStringLiteral("08.12.2026 14:05"));
    EXPECT_EQ(model.index(2, FileListModel::ColBackupPath).data().toString(), QStringLiteral("/arc/c.txt"));

    const QColor red(255, 0, 0);
    for (int c = 0; c < FileListModel::ColumnCount; ++c) {
        EXPECT_EQ(model.index(0, c).data(Qt::BackgroundRole).value<QColor>(), red);
        EXPECT_EQ(model.index(1, c).data(Qt::BackgroundRole).value<QColor>(), red);
        EXPECT_FALSE(model.index(2, c).data(Qt::BackgroundRole).isValid());
    }

    // After the upload the journal sets the state, and the refreshed row is drawn normally.
    store.Rows[0].State = true;
    status.RefreshJournal("a.txt");
    EXPECT_FALSE(model.index(0, 0).data(Qt::BackgroundRole).isValid());
    EXPECT_EQ(status.CurrentRow(), 0);
}

TEST(TFUStatus, FollowsTheJournalWhileOpenWithoutDisturbingAnEdit)
{
    MemoryFileList store;
    store.Add("a.txt", true);
    TFUStatus status(nullptr);
    status.SetFileListStore(&store);
    status.show();

    // Records stored during a cycle appear shortly after, the cursor on the last one.
    store.Add("b.txt", std::nullopt);
    status.FollowJournal("b.txt");
    store.Add("c.txt", std::nullopt);
    status.FollowJournal("b.txt");
    QTRY_COMPARE_WITH_TIMEOUT(status.FileList->rowCount(), 3, 3000);
    EXPECT_EQ(status.CurrentRow(), 1);

    // A row being typed in by the person is not thrown away by a reload.
    status.PageControl1->setCurrentIndex(1);
    static_cast<void>(status.FileList->BeginInsert(0));
    store.Add("d.txt", std::nullopt);
    status.FollowJournal("d.txt");
    QTest::qWait(400);
    EXPECT_TRUE(status.FileList->Inserting());
    EXPECT_EQ(status.FileList->rowCount(), 4); // three rows and the new one
    status.FileList->Cancel();
    QTRY_COMPARE_WITH_TIMEOUT(status.FileList->rowCount(), 4, 3000);
    EXPECT_EQ(status.CurrentRow(), 3);

    // A hidden window reads the journal when it is shown, not before.
    status.hide();
    store.Add("e.txt", std::nullopt);
    status.FollowJournal("e.txt");
    QTest::qWait(300);
    EXPECT_EQ(status.FileList->rowCount(), 4);
}

TEST(TFUStatus, MarkedRowStaysRedWhenSelected)
{
    MemoryFileList store;
    store.Add("a.txt", std::nullopt);
    store.Add("b.txt", true);
    TFUStatus status(nullptr);
    status.SetFileListStore(&store);
    status.PageControl1->setCurrentIndex(1);
    status.show();
    auto colourAt = [&](int row) {
        status.DBGrid1->setCurrentIndex(status.FileList->index(row, 0));
        const QRect cell =
            status.DBGrid1->visualRect(status.FileList->index(row, FileListModel::ColFileName));
        const QImage image = status.DBGrid1->viewport()->grab().toImage();
        const qreal ratio = image.devicePixelRatio();
        // Right of the short name, clear of the text and of the selection frame lines.
        return image.pixelColor(QPoint(cell.right() - 6, cell.center().y()) * ratio);
    };
    EXPECT_EQ(colourAt(0), QColor(255, 0, 0));
    EXPECT_NE(colourAt(1), QColor(255, 0, 0));
    EXPECT_EQ(colourAt(1), status.DBGrid1->palette().color(QPalette::Active, QPalette::Highlight));
    status.hide();
}

TEST(TFUStatus, EditsInsertsAndDeletesGoThroughTheStore)
{
    MemoryFileList store;
    store.Add("a.txt", std::nullopt);
    store.Add("b.txt", true);
    TFUStatus status(nullptr);
    std::vector<QString> errors;
    std::vector<QString> questions;
    bool answer = false;
    status.SetErrorBox([&](const QString& message) { errors.push_back(message); });
    status.SetConfirm([&](const QString& question) {
        questions.push_back(question);
        return answer;
    });
    status.SetFileListStore(&store);
    FileListModel& model = *status.FileList;

    EXPECT_TRUE(
        model.setData(model.index(0, FileListModel::ColDirection), QStringLiteral("INBOUND"), Qt::EditRole));
    EXPECT_EQ(store.Rows[0].Direction, "INB"); // the field holds three characters
    EXPECT_FALSE(
        model.setData(model.index(0, FileListModel::ColDateAdd), QStringLiteral("yesterday"), Qt::EditRole));
    EXPECT_TRUE(model.setData(model.index(0, FileListModel::ColDateAdd), QStringLiteral("07.12.2026 10:30"),
                              Qt::EditRole));
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", store.Rows[0].DateAdd), "07.12.2026 10:30");

    store.Refuse = true;
    EXPECT_FALSE(
        model.setData(model.index(1, FileListModel::ColFileName), QStringLiteral("x"), Qt::EditRole));
    EXPECT_EQ(model.index(1, FileListModel::ColFileName).data().toString(), QStringLiteral("b.txt"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QStringLiteral("database is locked"));
    store.Refuse = false;

    // Insert, then cancel: nothing reaches the store.
    status.DBNavigatorRUS1->Click(TDBNavigatorRUS::Insert);
    ASSERT_TRUE(model.Inserting());
    EXPECT_EQ(model.rowCount(), 3);
    status.DBNavigatorRUS1->Click(TDBNavigatorRUS::Cancel);
    EXPECT_FALSE(model.Inserting());
    EXPECT_EQ(store.Rows.size(), 2u);

    // Insert, fill in, post: one new stored row.
    status.DBNavigatorRUS1->Click(TDBNavigatorRUS::Insert);
    const int pending = *model.PendingRow();
    status.DBGrid1->CancelEdit();
    EXPECT_TRUE(model.setData(model.index(pending, FileListModel::ColFileName), QStringLiteral("new.txt"),
                              Qt::EditRole));
    EXPECT_EQ(store.Rows.size(), 2u);
    status.DBNavigatorRUS1->Click(TDBNavigatorRUS::Post);
    ASSERT_EQ(store.Rows.size(), 3u);
    EXPECT_EQ(store.Rows[2].FileName, "new.txt");
    EXPECT_EQ(model.rowCount(), 3);

    // Delete asks first; "no" keeps the row.
    status.RefreshJournal("a.txt");
    status.DBNavigatorRUS1->Click(TDBNavigatorRUS::Delete);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], QStringLiteral("Delete record?"));
    EXPECT_EQ(store.Rows.size(), 3u);
    answer = true;
    status.DBNavigatorRUS1->Click(TDBNavigatorRUS::Delete);
    ASSERT_EQ(store.Rows.size(), 2u);
    EXPECT_EQ(model.FindRow("a.txt"), -1);
    EXPECT_EQ(model.rowCount(), 2);
}

TEST(TFUStatus, NavigatorHintsAndAClosedJournalLeaveAnEmptyPage)
{
    TFUStatus status(nullptr);
    const char* hints[] = {"Первая запись",        "Предыдущая запись",     "Следующая запись",
                           "Последняя запись",     "Добавить запись",       "Удалить запись",
                           "Редактировать запись", "Потдвердить изменения", "Отменить изменения",
                           "Обновить данные"};
    for (int i = 0; i < TDBNavigatorRUS::ButtonCount; ++i) {
        EXPECT_EQ(status.DBNavigatorRUS1->ButtonAt(static_cast<TDBNavigatorRUS::Button>(i))->toolTip(),
                  QString::fromUtf8(hints[i]));
    }

    struct ClosedJournal final : FileListStore
    {
        std::vector<FileListRow> TodayRows() override { throw std::runtime_error("journal closed"); }
        void UpdateRow(const FileListRow&) override {}
        std::int64_t InsertRow(const FileListRow&) override { return 0; }
        void DeleteRow(std::int64_t) override {}
    } closed;
    std::vector<QString> errors;
    status.SetErrorBox([&](const QString& message) { errors.push_back(message); });
    status.SetFileListStore(&closed);
    EXPECT_EQ(status.FileList->rowCount(), 0);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_FALSE(status.DBNavigatorRUS1->ButtonAt(TDBNavigatorRUS::Delete)->isEnabled());
}

TEST(TFUStatus, OpensInTheCornerFirstAndWherePlacedLaterAtTheSameResolution)
{
    TempFolder folder;
    RegistryStore registry(folder.Path());
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    QRect placed;
    {
        TFUStatus status(&registry);
        status.ShowStatus();
        EXPECT_EQ(status.frameGeometry().topLeft(), QPoint(work.width() - status.frameGeometry().width(),
                                                           work.height() - status.frameGeometry().height()));
        EXPECT_EQ(status.size(), QSize(593, 527));
        EXPECT_EQ(status.windowTitle(), QString::fromUtf8("Статус выполнения"));
        EXPECT_TRUE(status.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_FALSE(status.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_EQ(status.minimumWidth(), 313);
        EXPECT_EQ(status.Panel1->height(), 50);
        EXPECT_EQ(status.PB->height(), 12);
        status.move(100, 120);
        status.resize(400, 300);
        status.ShowStatus(); // while open it stays where it was put
        EXPECT_EQ(status.frameGeometry().topLeft(), QPoint(100, 120));
        status.PageControl1->setCurrentIndex(1);
        placed = status.frameGeometry();
        EXPECT_EQ(placed.topLeft(), QPoint(100, 120));
        EXPECT_TRUE(status.close());
        EXPECT_FALSE(status.isVisible()); // hidden, not destroyed
    }
    {
        const RegistryKey key = registry.OpenKey(Hive::CurrentUser, "SOFTWARE\\RUX\\ORNEL_FTP\\FUStatus");
        // The normal frame rectangle: left, top, right, bottom.
        EXPECT_EQ(key.ReadString("NormPos"), FormatRectValue(placed));
        EXPECT_EQ(key.ReadString("NormPos").substr(0, 8), "100,120,");
        EXPECT_EQ(key.ReadInteger("PageControl1_TabIndex"), 1);
        EXPECT_EQ(key.ReadInteger("PixelsPerInch"), TFUStatus::ScreenPixelsPerInch());
        EXPECT_EQ(key.ReadInteger("ShowCmd"), WindowPlacement::kShowNormal);
        EXPECT_EQ(key.ReadInteger("FormVersion"), 0);
    }
    {
        TFUStatus status(&registry);
        status.ShowStatus();
        EXPECT_EQ(status.frameGeometry(), placed);
        EXPECT_EQ(status.size(), QSize(400, 300));
        EXPECT_EQ(status.PageControl1->currentIndex(), 1);
        status.hide();
    }
    {
        // Saved at another resolution: the corner again, and the first page.
        RegistryKey key = registry.OpenKey(Hive::CurrentUser, "SOFTWARE\\RUX\\ORNEL_FTP\\FUStatus");
        key.WriteInteger("PixelsPerInch", TFUStatus::ScreenPixelsPerInch() + 24);
        TFUStatus status(&registry);
        status.ShowStatus();
        EXPECT_EQ(status.frameGeometry().topLeft(), QPoint(work.width() - status.frameGeometry().width(),
                                                           work.height() - status.frameGeometry().height()));
        EXPECT_EQ(status.PageControl1->currentIndex(), 0);
        status.hide();
    }
    {
        // A malformed rectangle is ignored like a missing one.
        RegistryKey key = registry.OpenKey(Hive::CurrentUser, "SOFTWARE\\RUX\\ORNEL_FTP\\FUStatus");
        key.WriteInteger("PixelsPerInch", TFUStatus::ScreenPixelsPerInch());
        key.WriteString("NormPos", "100,abc,500,420");
        key.WriteString("MinMaxPos", "1,2,3");
        TFUStatus status(&registry);
        EXPECT_FALSE(status.RestorePlacement());
    }
}

TEST(TFUStatus, GridFollowsARealJournal)
{
    TempFolder folder;
    const std::filesystem::path file = folder / "ornel_ftp.db";
    Journal::Create(file);
    FakeClock clock(EncodeDateTime({2026, 12, 8, 10, 0, 0, 0}));
    Journal journal(clock, [](const std::string&) {});
    journal.Open(file);
    journal.AddJournalRecord("report.txt", "", JournalEvent::OutgoingFound);
    journal.AddJournalListing("stmt.dat\r\n");

    JournalFileListStore store(journal);
    TFUStatus status(nullptr);
    status.SetFileListStore(&store);
    FileListModel& model = *status.FileList;
    ASSERT_EQ(model.rowCount(), 2);
    const int report = model.FindRow("report.txt");
    const int stmt = model.FindRow("stmt.dat");
    ASSERT_GE(report, 0);
    ASSERT_GE(stmt, 0);
    EXPECT_TRUE(model.RowMarked(report)); // found, not yet uploaded
    EXPECT_FALSE(model.RowMarked(stmt));  // listed on the server
    EXPECT_EQ(model.index(report, FileListModel::ColDirection).data().toString(), QStringLiteral("OUT"));
    EXPECT_EQ(model.index(report, FileListModel::ColDateAdd).data().toString(),
              QStringLiteral("08.12.2026 10:00"));

    journal.AddJournalRecord("report.txt", "", JournalEvent::Uploaded);
    status.RefreshJournal("report.txt");
    EXPECT_FALSE(model.RowMarked(model.FindRow("report.txt")));
    EXPECT_EQ(status.CurrentRow(), model.FindRow("report.txt"));

    // A hand edit reaches the file.
    ASSERT_TRUE(model.setData(model.index(model.FindRow("stmt.dat"), FileListModel::ColBackupPath),
                              QStringLiteral("/arc/stmt.dat"), Qt::EditRole));
    bool found = false;
    for (const FileListRow& row : journal.TodayRows()) {
        if (row.FileName == "stmt.dat") {
            found = true;
            EXPECT_EQ(row.BackupPath, "/arc/stmt.dat");
        }
    }
    EXPECT_TRUE(found);
}

TEST(WindowPlacement, RectangleValuesAreFourIntegers)
{
    EXPECT_EQ(FormatRectValue(QRect(10, 20, 300, 400)), "10,20,310,420");
    EXPECT_EQ(ParseRectValue("10,20,310,420"), QRect(10, 20, 300, 400));
    EXPECT_EQ(ParseRectValue("-1,-1,-1,-1")->left(), -1);
    EXPECT_FALSE(ParseRectValue(""));
    EXPECT_FALSE(ParseRectValue("1,2,3,4,5"));
    EXPECT_FALSE(ParseRectValue("1,,3,4"));
    EXPECT_FALSE(ParseRectValue("1,2,3,4x"));
    EXPECT_FALSE(ParseRectValue("99999999999,2,3,4"));
}

} // namespace
} // namespace ornel::test
