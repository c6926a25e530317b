#include "ui/options/PathField.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QToolButton>

namespace ornel
{

PathField::PathField(Browse browse, const QString& browseTitle, const QString& filter, QWidget* parent)
    : QWidget(parent)
    , m_browse(browse)
    , m_title(browseTitle)
    , m_filter(DialogFilterOf(filter))
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
    } else {
        chosen = QFileDialog::getOpenFileName(this, m_title, m_edit->text(), m_filter);
    }
    if (!chosen.isEmpty()) {
        m_edit->setText(QDir::toNativeSeparators(chosen));
    }
}

} // namespace ornel
