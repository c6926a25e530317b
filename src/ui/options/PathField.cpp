#include "ui/options/PathField.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QSortFilterProxyModel>
#include <QToolButton>

namespace ornel
{

namespace
{

// Keeps folders and the files that may be executed while the programs filter is chosen.
class ProgramsOnly final : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void SetActive(bool active)
    {
        m_active = active;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!m_active || files == nullptr) {
            return true;
        }
        const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
        return info.isDir() || info.isExecutable();
    }

private:
    bool m_active = true;
};

} // namespace

PathField::PathField(Browse browse, const QString& browseTitle, const QString& filter, QWidget* parent)
    : QWidget(parent)
    , m_browse(browse)
    , m_title(browseTitle)
    , m_filter(browse == Browse::Program
                   ? QString::fromUtf8(kProgramsFilter) + QStringLiteral(";;") + DialogFilterOf(filter)
                   : DialogFilterOf(filter))
    , m_edit(new QLineEdit(this))
    , m_button(new QToolButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_edit, 1);
    m_button->setText(QStringLiteral("..."));
    // A click on the button must not take the focus from a half-filled masked field.
    m_button->setFocusPolicy(Qt::TabFocus);
    layout->addWidget(m_button);
    setFocusProxy(m_edit);
    connect(m_button, &QToolButton::clicked, this, &PathField::BrowseClicked);
}

QString PathField::DialogFilterOf(const QString& filter)
{
    if (filter.isEmpty()) {
        return {};
    }
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        // "*.*" means every file, with or without a dot, as on the system the lists
        // were written for.
        if (patterns.trimmed() == QStringLiteral("*.*")) {
            patterns = QStringLiteral("*");
            description.replace(QStringLiteral("(*.*)"), QString());
            description = description.trimmed();
        }
        entries << (description.endsWith(QStringLiteral("(") + patterns + QStringLiteral(")"))
                        ? description
                        : description + QStringLiteral(" (") + patterns + QStringLiteral(")"));
    }
    return entries.join(QStringLiteral(";;"));
}

void PathField::BrowseClicked()
{
    QString chosen;
    if (m_browse == Browse::Folder) {
        chosen = QFileDialog::getExistingDirectory(this, m_title, m_edit->text());
    } else if (m_browse == Browse::Program) {
        chosen = BrowseProgram();
    } else {
        chosen = QFileDialog::getOpenFileName(this, m_title, m_edit->text(), m_filter);
    }
    if (!chosen.isEmpty()) {
        m_edit->setText(QDir::toNativeSeparators(chosen));
    }
}

QString PathField::BrowseProgram()
{
    // Qt's own dialog: only it takes a filter that looks at more than the names.
    QFileDialog dialog(this, m_title, m_edit->text());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    auto* programs = new ProgramsOnly(&dialog);
    dialog.setProxyModel(programs);
    dialog.setNameFilters(m_filter.split(QStringLiteral(";;")));
    connect(&dialog, &QFileDialog::filterSelected, programs, [programs](const QString& chosen) {
        programs->SetActive(chosen == QString::fromUtf8(kProgramsFilter));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace ornel
