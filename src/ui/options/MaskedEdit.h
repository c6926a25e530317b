// A line edit with a fixed-position input mask: it takes only characters that fit their
// position, and its text keeps every position, an unfilled one as a space, literals
// included. Used by the options dialog; UI thread only.
#pragma once

#include <QLineEdit>

namespace ornel
{

class MaskedEdit final : public QLineEdit
{
    Q_OBJECT

public:
    // `mask` in Qt's input-mask syntax without the blank part ("99999999", "NNNNNNNN",
    // "\\.NNN"); unfilled positions show as '_'.
    MaskedEdit(const QString& mask, QWidget* parent);

    // One character per position of the mask, unfilled positions as spaces.
    [[nodiscard]] QString MaskedText() const;
    // Puts each character at its own position, so a stored text with gaps reads back as it
    // was; a text that does not line up with the mask is fitted in as typing would.
    // Leaves the field unmodified.
    void SetMaskedText(const QString& text);

    // Edited since it was set, and not every required position is filled: the focus may
    // not leave it.
    [[nodiscard]] bool NeedsCompletion() const { return isModified() && !hasAcceptableInput(); }

private:
    [[nodiscard]] QString RawText() const;
};

} // namespace ornel
