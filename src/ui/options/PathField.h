// A text field for a folder or a file with a button that opens the system's folder
// browser or file-open dialog. Used by the options dialog; UI thread only.
#pragma once

#include <QLineEdit>
#include <QWidget>

class QToolButton;

namespace ornel
{

class PathField final : public QWidget
{
    Q_OBJECT

public:
    enum class Browse
    {
        Folder,
        File,
        // A program to run: the dialog's first filter offers this system's programs (files
        // that may be executed, whatever their names), then the filters given.
        Program,
    };

    // The first filter of a Program field.
    static constexpr const char* kProgramsFilter = "Программы (*)";

    // `filter` for files in the "description|pattern|description|pattern" form.
    PathField(Browse browse, const QString& browseTitle, const QString& filter, QWidget* parent);

    [[nodiscard]] QString Text() const { return m_edit->text(); }
    void SetText(const QString& text) { m_edit->setText(text); }
    [[nodiscard]] QLineEdit* Edit() const { return m_edit; }
    [[nodiscard]] QToolButton* BrowseButton() const { return m_button; }
    [[nodiscard]] const QString& BrowseTitle() const { return m_title; }
    // The filter as the file dialog takes it ("description (patterns);;...").
    [[nodiscard]] const QString& DialogFilter() const { return m_filter; }

    [[nodiscard]] static QString DialogFilterOf(const QString& filter);

private:
    void BrowseClicked();
    [[nodiscard]] QString BrowseProgram();

    Browse m_browse;
    QString m_title;
    QString m_filter;
    QLineEdit* m_edit;
    QToolButton* m_button;
};

} // namespace ornel
