// A tabbed page area whose tabs wrap into as many rows as the width needs, the row with
// the chosen tab next to the page, so that every tab of a narrow dialog stays in sight.
// Used by the options dialog; UI thread only.
#pragma once

#include <QStringList>
#include <QWidget>
#include <vector>

class QStackedWidget;

namespace ornel
{

class MultiRowTabs final : public QWidget
{
    Q_OBJECT

public:
    explicit MultiRowTabs(QWidget* parent);

    int addTab(QWidget* page, const QString& title);
    [[nodiscard]] int count() const { return static_cast<int>(m_titles.size()); }
    [[nodiscard]] QString tabText(int index) const { return m_titles.value(index); }
    [[nodiscard]] QWidget* widget(int index) const;
    [[nodiscard]] int currentIndex() const;
    [[nodiscard]] QWidget* currentWidget() const;
    void setCurrentIndex(int index);
    void setCurrentWidget(QWidget* page);
    // Where tab `index` is drawn (empty before the first layout).
    [[nodiscard]] QRect tabRect(int index) const;
    [[nodiscard]] int RowCount() const { return m_rows; }

signals:
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    [[nodiscard]] QSize minimumSizeHint() const override;

private:
    void Relayout();
    [[nodiscard]] QSize TabSize(int index) const;

    QStringList m_titles;
    QStackedWidget* m_stack;
    std::vector<QRect> m_rects;
    std::vector<int> m_rowOf;
    int m_rows = 0;
    int m_barHeight = 0;
};

} // namespace ornel
