// The message window: the text of every error report found this run, one block each,
// appended and never cleared. Created hidden at start-up; UI thread only.
#pragma once

#include <QPlainTextEdit>
#include <QWidget>

namespace ornel
{

class TFMess final : public QWidget
{
    Q_OBJECT

public:
    explicit TFMess(QWidget* parent = nullptr);

    // Appends the block's lines and shows the window (not modal).
    void AppendBlock(const QString& text);

    QPlainTextEdit* Memo1 = nullptr;
};

} // namespace ornel
