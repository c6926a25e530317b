// The list of the files found in the UnKnOwn day folder: name, time, size and the type's
// icon; a double click opens the file with its program. Created hidden at start-up,
// rebuilt and shown by each alert; UI thread only.
#pragma once

#include <QLabel>
#include <QString>
#include <QTreeWidget>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace ornel
{

class TFUnkNownFiles final : public QWidget
{
    Q_OBJECT

public:
    explicit TFUnkNownFiles(QWidget* parent = nullptr);

    // Lists the files (not the subfolders) of `folder` in the order the file system gives
    // them and shows the window, not modal. A missing folder gives an empty list.
    void FillUnKnOwnList(const QString& folder);
    // Opens the selected file; nothing when no item is selected.
    void LVDblClick();

    // "N байт" below 1024, "N КБ" below 1048576, else "N МБ" (whole units, truncated).
    [[nodiscard]] static QString SizeText(std::int64_t bytes);
    // The type's icon by the name's extension; the file itself is never read.
    [[nodiscard]] static QIcon FileIcon(const QString& fileName);

    // Replaces the shell call that opens a file (tests record instead).
    void SetOpener(std::function<void(const QString&)> open) { m_open = std::move(open); }

    [[nodiscard]] const QString& FolderPath() const { return m_folderPath; }

    QLabel* Label1 = nullptr;
    QTreeWidget* LV = nullptr;

private:
    QString m_folderPath;
    std::function<void(const QString&)> m_open;
};

} // namespace ornel
