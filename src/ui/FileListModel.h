// The grid's table model over today's FileList rows: display texts, red rows without a
// state, in-place edits saved row by row, and one pending new row until it is posted or
// cancelled. Owned by the status window; UI thread only.
#pragma once

#include "journal/Journal.h"

#include <QAbstractTableModel>
#include <functional>
#include <optional>
#include <vector>

namespace ornel
{

class FileListStore;

class FileListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        ColFileName,
        ColDateAdd,
        ColDirection,
        ColBackupPathCrypt,
        ColBackupPath,
        ColState,
        ColumnCount,
    };

    explicit FileListModel(QObject* parent = nullptr);

    // The store may be null (no journal): the grid is then empty.
    void SetStore(FileListStore* store);
    // Reads today's rows again; a pending new row is dropped.
    void Reload();
    // Store failures are reported here (the status window shows them in a box).
    void SetErrorHandler(std::function<void(const QString&)> onError) { m_onError = std::move(onError); }

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // A new empty row at `row` (clamped), not stored until Post; returns its row number.
    int BeginInsert(int row);
    [[nodiscard]] bool Inserting() const { return m_pendingRow.has_value(); }
    [[nodiscard]] std::optional<int> PendingRow() const { return m_pendingRow; }
    // Stores the pending row; false (and the row stays pending) when the store refuses.
    bool Post();
    void Cancel();
    // Deletes a stored row (or drops the pending one); false when the store refuses.
    bool RemoveRow(int row);

    [[nodiscard]] const FileListRow& Row(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }
    [[nodiscard]] int FindRow(const std::string& fileName) const;
    // A row is drawn red until its file is known to have gone through (State true).
    [[nodiscard]] bool RowMarked(int row) const;
    // The row that the indicator column points at.
    void SetCurrentRow(int row);

    // "dd.mm.yyyy hh:nn" and back; parsing accepts seconds and a bare date.
    [[nodiscard]] static QString FormatDateAdd(double dateTime);
    [[nodiscard]] static std::optional<double> ParseDateAdd(const QString& text);

private:
    void Fail(const std::exception& error);
    [[nodiscard]] bool Apply(FileListRow& row, int column, const QVariant& value) const;

    FileListStore* m_store = nullptr;
    std::vector<FileListRow> m_rows;
    std::optional<int> m_pendingRow;
    int m_currentRow = -1;
    std::function<void(const QString&)> m_onError;
};

} // namespace ornel
