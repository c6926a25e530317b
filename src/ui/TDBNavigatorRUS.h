// The data navigator above the journal grid: ten flat buttons (move, insert, delete, edit,
// post, cancel, refresh) with Russian hints. Owned by the status window; UI thread only.
#pragma once

#include <QToolButton>
#include <QWidget>
#include <array>

namespace ornel
{

class TDBNavigatorRUS final : public QWidget
{
    Q_OBJECT

public:
    enum Button
    {
        First,
        Prior,
        Next,
        Last,
        Insert,
        Delete,
        Edit,
        Post,
        Cancel,
        Refresh,
        ButtonCount,
    };

    explicit TDBNavigatorRUS(QWidget* parent = nullptr);

    [[nodiscard]] QToolButton* ButtonAt(Button button) const
    {
        return m_buttons[static_cast<std::size_t>(button)];
    }
    void SetButtonEnabled(Button button, bool enabled)
    {
        m_buttons[static_cast<std::size_t>(button)]->setEnabled(enabled);
    }
    // The same as a click of the button (a disabled button does nothing).
    void Click(Button button) { m_buttons[static_cast<std::size_t>(button)]->click(); }

signals:
    void Clicked(Button button);

private:
    std::array<QToolButton*, ButtonCount> m_buttons{};
};

} // namespace ornel
