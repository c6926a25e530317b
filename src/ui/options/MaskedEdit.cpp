#include "ui/options/MaskedEdit.h"

#include <QVariant>

namespace ornel
{

namespace
{

constexpr QChar kBlank = u'_';

} // namespace

MaskedEdit::MaskedEdit(const QString& mask, QWidget* parent)
    : QLineEdit(parent)
{
    setInputMask(mask + QStringLiteral(";") + kBlank);
}

QString MaskedEdit::RawText() const
{
    // text() drops the unfilled positions and so loses where the filled ones are; the
    // surrounding text is the field's content position by position, also while the field
    // shows its characters as '*'.
    return inputMethodQuery(Qt::ImSurroundingText).toString();
}

QString MaskedEdit::MaskedText() const
{
    QString text = RawText();
    text.replace(kBlank, u' ');
    return text;
}

void MaskedEdit::SetMaskedText(const QString& text)
{
    setText(QString());
    const QString empty = RawText(); // literals in place, blanks elsewhere
    bool linesUp = text.size() == empty.size();
    for (qsizetype i = 0; linesUp && i < empty.size(); ++i) {
        if (empty[i] != kBlank && text[i] != empty[i]) {
            linesUp = false;
        }
    }
    if (!linesUp) {
        setText(text);
    } else {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (empty[i] == kBlank && text[i] != u' ') {
                setCursorPosition(static_cast<int>(i));
                insert(QString(text[i]));
            }
        }
    }
    setModified(false);
    setCursorPosition(0);
}

} // namespace ornel
