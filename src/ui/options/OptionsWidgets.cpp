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

PathField* MakeFileField(const char* name, const char* browseTitle, const char* filter, QWidget* parent,
                         PathField::Browse browse)
{
    auto* field = new PathField(browse, QString::fromUtf8(browseTitle), QString::fromUtf8(filter), parent);
    field->setObjectName(QString::fromLatin1(name));
    return field;
}

} // namespace ornel::options

#include "ui/options/MaskedEdit.h"

#include <stdexcept>

namespace ornel::options
{

OptionsValue ReadField(const QWidget* field)
{
    if (const auto* masked = qobject_cast<const MaskedEdit*>(field)) {
        return masked->MaskedText().toStdString();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(field)) {
        return edit->text().toStdString();
    }
    if (const auto* path = qobject_cast<const PathField*>(field)) {
        return path->Text().toStdString();
    }
    if (const auto* number = qobject_cast<const QSpinBox*>(field)) {
        return number->value();
    }
    if (const auto* list = qobject_cast<const QComboBox*>(field)) {
        return list->currentIndex();
    }
    if (const auto* box = qobject_cast<const QCheckBox*>(field)) {
        return box->isChecked();
    }
    throw std::logic_error("Not a settings field: " + field->objectName().toStdString());
}

void ShowInField(QWidget* field, const OptionsValue& value)
{
    if (auto* masked = qobject_cast<MaskedEdit*>(field)) {
        masked->SetMaskedText(QString::fromStdString(std::get<std::string>(value)));
    } else if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->setText(QString::fromStdString(std::get<std::string>(value)));
    } else if (auto* path = qobject_cast<PathField*>(field)) {
        path->SetText(QString::fromStdString(std::get<std::string>(value)));
    } else if (auto* number = qobject_cast<QSpinBox*>(field)) {
        number->setValue(std::get<int>(value));
    } else if (auto* list = qobject_cast<QComboBox*>(field)) {
        // A row the list does not have leaves none chosen.
        const int row = std::get<int>(value);
        list->setCurrentIndex(row >= 0 && row < list->count() ? row : -1);
    } else if (auto* box = qobject_cast<QCheckBox*>(field)) {
        box->setChecked(std::get<bool>(value));
    } else {
        throw std::logic_error("Not a settings field: " + field->objectName().toStdString());
    }
}

} // namespace ornel::options
