// Small builders for the fields of the options dialog's tabs: every field carries its
// component name as object name, so the dialog and its tests find it by that name.
#pragma once

#include "ui/options/PathField.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace ornel::options
{

[[nodiscard]] QLabel* MakeLabel(const char* text, QWidget* parent);
[[nodiscard]] QLabel* MakeWrappedLabel(const char* text, QWidget* parent);
[[nodiscard]] QLineEdit* MakeEdit(const char* name, QWidget* parent);
[[nodiscard]] QCheckBox* MakeCheckBox(const char* name, const char* caption, QWidget* parent);
[[nodiscard]] QSpinBox* MakeNumber(const char* name, int minimum, int maximum, QWidget* parent);
[[nodiscard]] QComboBox* MakeList(const char* name, std::initializer_list<const char*> rows, QWidget* parent);

// Marks a schedule field: the dialog reads and writes the fields that carry it.
inline constexpr int kScheduleTag = 1000;
inline constexpr const char* kTagProperty = "tag";

} // namespace ornel::options

class QVBoxLayout;

namespace ornel::options
{

// A folder field with its caption above it, added to `page`.
[[nodiscard]] PathField* AddFolderRow(QVBoxLayout* page, const char* name, const char* caption,
                                      const char* browseTitle, QWidget* parent);
// A file field named `name` browsing with `filter` ("description|pattern|...").
[[nodiscard]] PathField* MakeFileField(const char* name, const char* browseTitle, const char* filter,
                                       QWidget* parent, PathField::Browse browse = PathField::Browse::File);
// The filter of the sound-file fields.
inline constexpr const char* kSoundFilter = "Звуковые файлы (*.wav)|*.wav|All files (*.*)|*.*";

} // namespace ornel::options

#include <string>
#include <variant>

namespace ornel
{
// What a settings field holds: text, a number (list rows included) or a flag.
using OptionsValue = std::variant<std::string, int, bool>;
} // namespace ornel

namespace ornel::options
{

// The value a field holds: a masked field's text position by position, a list's chosen
// row (-1 for none), a check box's state, a number field's number.
[[nodiscard]] OptionsValue ReadField(const QWidget* field);
// Shows `value` in `field`; a value of another kind than the field's is a programming
// error (std::logic_error).
void ShowInField(QWidget* field, const OptionsValue& value);

} // namespace ornel::options
