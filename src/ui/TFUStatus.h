// The status window: the protocol of this run's log lines with the transfer progress bar,
// and the browser of today's journal rows. Created hidden by the controller at start-up,
// shown by the "Статус" command, hidden (not destroyed) when closed; UI thread only.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

namespace ornel
{

struct Contacts;
class FileListModel;
class FileListStore;
class JournalGrid;
class RegistryStore;
class TDBNavigatorRUS;

class TFUStatus final : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char* kPlacementKey = "SOFTWARE\\RUX\\ORNEL_FTP\\FUStatus";
    static constexpr const char* kTabValueName = "PageControl1_TabIndex";

    // `registry` (may be null: nothing is stored) keeps the per-user placement.
    explicit TFUStatus(RegistryStore* registry, QWidget* parent = nullptr);
    ~TFUStatus() override;

    // The grid's rows; null (no journal) leaves the "Инфо" page empty.
    void SetFileListStore(FileListStore* store);
    // Reads today's rows again and, when given, puts the cursor on that file's row; the
    // controller calls it after journaling so the grid follows the file journaled last.
    void RefreshJournal(const std::string& selectFileName = {});

    // A journal record has just been stored: while the window is open the grid shows it
    // shortly after, with the cursor on its file (several records in a row give one
    // reload). An edit under way in the grid is not disturbed: the reload waits for it.
    void FollowJournal(const std::string& fileName);

    // The maker's web address under the logo (nothing shown while it is not set).
    void SetContacts(const Contacts& contacts);

    // One event-log line (line breaks make several memo lines). Never cleared.
    void AppendProtocolLine(const QString& line);

    // 64-bit byte counts; the bar itself holds ints, so large files are scaled down.
    void SetProgressRange(std::int64_t maximum);
    void SetProgressPosition(std::int64_t position);
    [[nodiscard]] std::int64_t ProgressMaximum() const { return m_progressMax; }
    [[nodiscard]] std::int64_t ProgressPosition() const { return m_progressPos; }

    // The "Статус" command: bottom-right corner of the work area unless a placement
    // stored at this screen resolution says otherwise, then shown and raised.
    void ShowStatus();

    // Placement in the per-user store (the close button saves, ShowStatus restores).
    void SavePlacement();
    bool RestorePlacement();

    // The logo and link open the maker's web site through this (the tray's site action).
    void SetSiteOpener(std::function<void()> openSite) { m_openSite = std::move(openSite); }
    // Replace the question box and the error box (tests answer and record instead).
    void SetConfirm(std::function<bool(const QString&)> confirm) { m_confirm = std::move(confirm); }
    void SetErrorBox(std::function<void(const QString&)> showError) { m_showError = std::move(showError); }

    [[nodiscard]] int CurrentRow() const;
    [[nodiscard]] static int ScreenPixelsPerInch();

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QProgressBar* PB = nullptr;
    TDBNavigatorRUS* DBNavigatorRUS1 = nullptr;
    JournalGrid* DBGrid1 = nullptr;
    FileListModel* FileList = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildProtocolPage();
    void BuildInfoPage();
    void BuildLogoPanel();
    void NavigatorClicked(int button);
    void DeleteCurrentRow();
    void SelectRow(int row);
    void UpdateNavigator();
    void ApplyProgress();
    void FitFrame();

    RegistryStore* m_registry;
    std::int64_t m_progressMax = 0;
    std::int64_t m_progressPos = 0;
    std::function<void()> m_openSite;
    std::function<bool(const QString&)> m_confirm;
    std::function<void(const QString&)> m_showError;
    QRect m_wantedFrame; // where the frame should be, fitted again once the frame is known
    QTimer m_follow;
    std::string m_followFile;
};

} // namespace ornel
