#include "ui/options/OptionsWidgets.h"

namespace ornel::options
{

QLabel* MakeLabel(const char* text, QWidget* parent)
{
    return new QLabel(QString::fromUtf8(text), parent);
}

QLabel* MakeWrappedLabel(const char* text, QWidget* parent)
{
    auto* label = MakeLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QLineEdit* MakeEdit(const char* name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QCheckBox* MakeCheckBox(const char* name, const char* caption, QWidget* parent)
{
    auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QSpinBox* MakeNumber(const char* name, int minimum, int maximum, QWidget* parent)
{
    auto* number = new QSpinBox(parent);
    number->setObjectName(QString::fromLatin1(name));
    number->setRange(minimum, maximum);
    return number;
}

QComboBox* MakeList(const char* name, std::initializer_list<const char*> rows, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    for (const char* row : rows) {
        list->addItem(QString::fromUtf8(row));
    }
    return list;
}

} // namespace ornel::options

#include "ui/options/PathField.h"

#include <QVBoxLayout>

namespace ornel::options
{

PathField* AddFolderRow(QVBoxLayout* page, const char* name, const char* caption, const char* browseTitle,
                        QWidget* parent)
{
    auto* field = new PathField(PathField::Browse::Folder, QString::fromUtf8(browseTitle), QString(), parent);
    field->setObjectName(QString::fromLatin1(name));
    auto* label = MakeWrappedLabel(caption, parent);
    label->setBuddy(field->Edit());
    page->addWidget(label);
    page->addWidget(field);
    page->addSpacing(6);
    return field;
}

PathField* MakeFileField(const char* name, const char* browseTitle, const char* filter, QWidget* parent)
{
    auto* field =
        new PathField(PathField::Browse::File, QString::fromUtf8(browseTitle), QString::fromUtf8(filter), parent);
    field->setObjectName(QString::fromLatin1(name));
    return field;
}

} // namespace ornel::options
