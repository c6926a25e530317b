#include "ui/JournalGrid.h"

#include "ui/FileListModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace ornel
{

namespace
{

// Marked rows keep their red background even when selected; the selection then shows as a
// frame so that the user still sees where the cursor is.
class RowColourDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        // A path that does not fit keeps its end: the day folder and the file's name.
        if (index.column() == FileListModel::ColBackupPathCrypt ||
            index.column() == FileListModel::ColBackupPath) {
            option->textElideMode = Qt::ElideLeft;
        }
    }

public:
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QVariant background = index.data(Qt::BackgroundRole);
        if (!background.isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_Selected;
        plain.state &= ~QStyle::State_HasFocus;
        painter->fillRect(option.rect, background.value<QColor>());
        plain.backgroundBrush = Qt::NoBrush;
        plain.palette.setColor(QPalette::Text, Qt::black);
        QStyledItemDelegate::paint(painter, plain, index);
        if (selected) {
            painter->save();
            QPen pen(option.palette.color(QPalette::Highlight));
            pen.setWidth(2);
            painter->setPen(pen);
            painter->drawLine(option.rect.topLeft() + QPoint(0, 1), option.rect.topRight() + QPoint(0, 1));
            painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
            painter->restore();
        }
    }
};

} // namespace

JournalGrid::JournalGrid(QWidget* parent)
    : QTableView(parent)
{
    setItemDelegate(new RowColourDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setFixedWidth(16);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
}

bool JournalGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    const bool started = QTableView::edit(index, trigger, event);
    if (started) {
        emit EditingChanged();
    }
    return started;
}

void JournalGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    emit EditingChanged();
}

void JournalGrid::CommitEdit()
{
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void JournalGrid::CancelEdit()
{
    if (QWidget* editor = indexWidget(currentIndex())) {
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    }
}

void JournalGrid::keyPressEvent(QKeyEvent* event)
{
    // Ctrl+Del deletes the current row, as the navigator's delete button does.
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        emit DeleteRequested();
        return;
    }
    QTableView::keyPressEvent(event);
}

} // namespace ornel
