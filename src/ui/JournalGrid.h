// The status window's grid of journal rows: a table view whose rows without a state are
// painted red (selected or not), with the editor commands the navigator needs. Owned by
// the status window; UI thread only.
#pragma once

#include <QTableView>

namespace ornel
{

class JournalGrid final : public QTableView
{
    Q_OBJECT

public:
    explicit JournalGrid(QWidget* parent = nullptr);

    using QTableView::edit;

    [[nodiscard]] bool Editing() const { return state() == QAbstractItemView::EditingState; }
    // Saves / drops what the open cell editor holds and closes it.
    void CommitEdit();
    void CancelEdit();

signals:
    void EditingChanged();
    void DeleteRequested();

protected:
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace ornel
