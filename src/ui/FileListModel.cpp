#include "ui/FileListModel.h"

#include "platform/DateTime.h"
#include "ui/FileListStore.h"

#include <QColor>
#include <QDateTime>
#include <array>
#include <stdexcept>

namespace ornel
{

namespace
{

const std::array<const char*, FileListModel::ColumnCount> kTitles = {
    "Имя файла", "Дата", "Направление", "Архив (Зашифрованая)", "Архив (Незашифрованый)", "Состояние",
};

QString Cut(const QString& text, std::size_t width)
{
    return text.left(static_cast<qsizetype>(width));
}

} // namespace

FileListModel::FileListModel(QObject* parent)
    : QAbstractTableModel(parent)
{}

void FileListModel::SetStore(FileListStore* store)
{
    m_store = store;
    Reload();
}

void FileListModel::Fail(const std::exception& error)
{
    if (m_onError) {
        m_onError(QString::fromUtf8(error.what()));
    }
}

void FileListModel::Reload()
{
    beginResetModel();
    m_pendingRow.reset();
    m_rows.clear();
    if (m_store != nullptr) {
        try {
            m_rows = m_store->TodayRows();
        } catch (const std::exception& error) {
            m_rows.clear();
            endResetModel();
            Fail(error);
            return;
        }
    }
    endResetModel();
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString FileListModel::FormatDateAdd(double dateTime)
{
    if (dateTime == 0) {
        return {};
    }
    return QString::fromStdString(FormatDateTime("dd/mm/yyyy hh:nn", dateTime));
}

std::optional<double> FileListModel::ParseDateAdd(const QString& text)
{
    const QString trimmed = text.trimmed();
    for (const char* format : {"dd.MM.yyyy hh:mm:ss", "dd.MM.yyyy hh:mm", "dd.MM.yyyy"}) {
        const QDateTime moment = QDateTime::fromString(trimmed, QLatin1String(format));
        if (moment.isValid()) {
            DateParts parts;
            parts.Year = moment.date().year();
            parts.Month = moment.date().month();
            parts.Day = moment.date().day();
            parts.Hour = moment.time().hour();
            parts.Minute = moment.time().minute();
            parts.Second = moment.time().second();
            return EncodeDateTime(parts);
        }
    }
    return std::nullopt;
}

bool FileListModel::RowMarked(int row) const
{
    return !Row(row).State.value_or(false);
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const FileListRow& row = Row(index.row());
    if (role == Qt::BackgroundRole) {
        return RowMarked(index.row()) ? QVariant(QColor(255, 0, 0)) : QVariant();
    }
    if (role == Qt::ToolTipRole) {
        // The whole text of a cell the column may show cut.
        const int column = index.column();
        const bool mayBeCut = column == ColFileName || column == ColBackupPathCrypt || column == ColBackupPath;
        return mayBeCut ? data(index, Qt::DisplayRole) : QVariant();
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole) {
        return {};
    }
    switch (index.column()) {
    case ColFileName:
        return QString::fromStdString(row.FileName);
    case ColDateAdd:
        return FormatDateAdd(row.DateAdd);
    case ColDirection:
        return QString::fromStdString(row.Direction);
    case ColBackupPathCrypt:
        return QString::fromStdString(row.BackupPathCrypt);
    case ColBackupPath:
        return QString::fromStdString(row.BackupPath);
    case ColState:
        if (!row.State) {
            return QString();
        }
        return *row.State ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= ColumnCount) {
            return {};
        }
        return QString::fromUtf8(kTitles[static_cast<std::size_t>(section)]);
    }
    if (m_pendingRow && section == *m_pendingRow) {
        return QStringLiteral("*");
    }
    return section == m_currentRow ? QStringLiteral("▶") : QString();
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() != ColState) {
        result |= Qt::ItemIsEditable;
    }
    return result;
}

bool FileListModel::Apply(FileListRow& row, int column, const QVariant& value) const
{
    const QString text = value.toString();
    switch (column) {
    case ColFileName:
        row.FileName = Cut(text, Journal::kNameWidth).toStdString();
        return true;
    case ColDateAdd: {
        const std::optional<double> moment = ParseDateAdd(text);
        if (!moment) {
            return false;
        }
        row.DateAdd = *moment;
        return true;
    }
    case ColDirection:
        row.Direction = Cut(text, Journal::kDirectionWidth).toStdString();
        return true;
    case ColBackupPathCrypt:
        row.BackupPathCrypt = Cut(text, Journal::kPathWidth).toStdString();
        return true;
    case ColBackupPath:
        row.BackupPath = Cut(text, Journal::kPathWidth).toStdString();
        return true;
    default:
        return false;
    }
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() >= rowCount()) {
        return false;
    }
    FileListRow changed = Row(index.row());
    if (!Apply(changed, index.column(), value)) {
        return false;
    }
    const bool pending = m_pendingRow && *m_pendingRow == index.row();
    if (!pending) {
        if (m_store == nullptr) {
            return false;
        }
        try {
            m_store->UpdateRow(changed);
        } catch (const std::exception& error) {
            Fail(error);
            return false;
        }
    }
    m_rows[static_cast<std::size_t>(index.row())] = std::move(changed);
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), ColumnCount - 1));
    return true;
}

int FileListModel::BeginInsert(int row)
{
    if (m_pendingRow) {
        return *m_pendingRow;
    }
    row = std::clamp(row, 0, rowCount());
    beginInsertRows({}, row, row);
    m_rows.insert(m_rows.begin() + row, FileListRow{});
    m_pendingRow = row;
    endInsertRows();
    return row;
}

bool FileListModel::Post()
{
    if (!m_pendingRow) {
        return true;
    }
    if (m_store == nullptr) {
        return false;
    }
    const int row = *m_pendingRow;
    FileListRow& pending = m_rows[static_cast<std::size_t>(row)];
    try {
        pending.ID = m_store->InsertRow(pending);
    } catch (const std::exception& error) {
        Fail(error);
        return false;
    }
    m_pendingRow.reset();
    // The store fills in what was left empty (the moment of insertion); read it back.
    Reload();
    return true;
}

void FileListModel::Cancel()
{
    if (!m_pendingRow) {
        return;
    }
    const int row = *m_pendingRow;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    m_pendingRow.reset();
    endRemoveRows();
}

bool FileListModel::RemoveRow(int row)
{
    if (row < 0 || row >= rowCount()) {
        return false;
    }
    if (m_pendingRow && *m_pendingRow == row) {
        Cancel();
        return true;
    }
    if (m_store == nullptr) {
        return false;
    }
    try {
        m_store->DeleteRow(Row(row).ID);
    } catch (const std::exception& error) {
        Fail(error);
        return false;
    }
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    if (m_pendingRow && *m_pendingRow > row) {
        --*m_pendingRow;
    }
    endRemoveRows();
    return true;
}

int FileListModel::FindRow(const std::string& fileName) const
{
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].FileName == fileName) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void FileListModel::SetCurrentRow(int row)
{
    const int old = m_currentRow;
    m_currentRow = row;
    if (old >= 0 && old < rowCount()) {
        emit headerDataChanged(Qt::Vertical, old, old);
    }
    if (row >= 0 && row < rowCount()) {
        emit headerDataChanged(Qt::Vertical, row, row);
    }
}

} // namespace ornel
