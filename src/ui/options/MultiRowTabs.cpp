#include "ui/options/MultiRowTabs.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace ornel
{

namespace
{

// The fewest rows that hold the tabs in their order, and of those the split whose widest
// row is narrowest, so that no row is left with a single tab while another is full.
std::vector<std::vector<int>> BalancedRows(const std::vector<int>& widths, int available)
{
    const int n = static_cast<int>(widths.size());
    std::vector<int> prefix(static_cast<std::size_t>(n) + 1, 0);
    for (int i = 0; i < n; ++i) {
        prefix[static_cast<std::size_t>(i) + 1] =
            prefix[static_cast<std::size_t>(i)] + widths[static_cast<std::size_t>(i)];
    }
    auto span = [&](int from, int to) {
        return prefix[static_cast<std::size_t>(to)] - prefix[static_cast<std::size_t>(from)];
    };
    constexpr int kNone = std::numeric_limits<int>::max();
    for (int rowCount = 1; rowCount <= std::max(n, 1); ++rowCount) {
        // widest[r][i]: the narrowest possible widest row when the first i tabs fill r rows.
        std::vector<std::vector<int>> widest(static_cast<std::size_t>(rowCount) + 1,
                                             std::vector<int>(static_cast<std::size_t>(n) + 1, kNone));
        std::vector<std::vector<int>> cut(widest.size(),
                                          std::vector<int>(static_cast<std::size_t>(n) + 1, 0));
        widest[0][0] = 0;
        for (int r = 1; r <= rowCount; ++r) {
            for (int i = 1; i <= n; ++i) {
                for (int j = r - 1; j < i; ++j) {
                    const int before = widest[static_cast<std::size_t>(r) - 1][static_cast<std::size_t>(j)];
                    const int row = span(j, i);
                    // A tab wider than the whole area still gets a row of its own.
                    if (before == kNone || (row > available && i - j > 1)) {
                        continue;
                    }
                    const int candidate = std::max(before, row);
                    if (candidate < widest[static_cast<std::size_t>(r)][static_cast<std::size_t>(i)]) {
                        widest[static_cast<std::size_t>(r)][static_cast<std::size_t>(i)] = candidate;
                        cut[static_cast<std::size_t>(r)][static_cast<std::size_t>(i)] = j;
                    }
                }
            }
        }
        if (widest[static_cast<std::size_t>(rowCount)][static_cast<std::size_t>(n)] == kNone) {
            continue;
        }
        std::vector<std::vector<int>> rows(static_cast<std::size_t>(rowCount));
        for (int r = rowCount, i = n; r > 0; --r) {
            const int j = cut[static_cast<std::size_t>(r)][static_cast<std::size_t>(i)];
            for (int k = j; k < i; ++k) {
                rows[static_cast<std::size_t>(r) - 1].push_back(k);
            }
            i = j;
        }
        return rows;
    }
    return {};
}

} // namespace

MultiRowTabs::MultiRowTabs(QWidget* parent)
    : QWidget(parent)
    , m_stack(new QStackedWidget(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_stack);
    setFocusPolicy(Qt::NoFocus);
    // Tab captions a little smaller than the fields, as on the system the dialog was laid
    // out for: nine captions then take three rows of a 400-pixel dialog, not four.
    QFont captions = font();
    captions.setPointSizeF(captions.pointSizeF() * 0.9);
    setFont(captions);
    m_stack->setFont(parent ? parent->font() : QFont());
    connect(m_stack, &QStackedWidget::currentChanged, this, [this](int index) {
        Relayout();
        update();
        emit currentChanged(index);
    });
    auto step = [this](int by) {
        if (count() > 0) {
            setCurrentIndex((currentIndex() + by + count()) % count());
        }
    };
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)}) {
        auto* next = new QShortcut(keys, this);
        next->setContext(Qt::WidgetWithChildrenShortcut);
        connect(next, &QShortcut::activated, this, [step] { step(1); });
    }
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::Key_PageUp)}) {
        auto* previous = new QShortcut(keys, this);
        previous->setContext(Qt::WidgetWithChildrenShortcut);
        connect(previous, &QShortcut::activated, this, [step] { step(-1); });
    }
}

int MultiRowTabs::addTab(QWidget* page, const QString& title)
{
    m_titles << title;
    const int index = m_stack->addWidget(page);
    Relayout();
    return index;
}

QWidget* MultiRowTabs::widget(int index) const
{
    return m_stack->widget(index);
}

int MultiRowTabs::currentIndex() const
{
    return m_stack->currentIndex();
}

QWidget* MultiRowTabs::currentWidget() const
{
    return m_stack->currentWidget();
}

void MultiRowTabs::setCurrentIndex(int index)
{
    m_stack->setCurrentIndex(index);
}

void MultiRowTabs::setCurrentWidget(QWidget* page)
{
    m_stack->setCurrentWidget(page);
}

QRect MultiRowTabs::tabRect(int index) const
{
    return index >= 0 && index < static_cast<int>(m_rects.size()) ? m_rects[static_cast<std::size_t>(index)]
                                                                  : QRect();
}

QSize MultiRowTabs::TabSize(int index) const
{
    // As the tab bar sizes its tabs, so that the style draws them as it expects.
    QStyleOptionTab option;
    option.initFrom(this);
    option.shape = QTabBar::RoundedNorth;
    option.text = m_titles[index];
    // Rows of tabs are stretched to the full width anyway: a narrower margin than a
    // single-row bar uses saves a whole row in a narrow dialog.
    const int hSpace = style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &option, this) / 2;
    const int vSpace = style()->pixelMetric(QStyle::PM_TabBarTabVSpace, &option, this);
    const QSize content(fontMetrics().horizontalAdvance(option.text) + hSpace,
                        fontMetrics().height() + vSpace);
    return style()->sizeFromContents(QStyle::CT_TabBarTab, &option, content, this);
}

void MultiRowTabs::Relayout()
{
    const int available = std::max(width(), 1);
    std::vector<int> widths;
    int tabHeight = 0;
    for (int i = 0; i < count(); ++i) {
        const QSize size = TabSize(i);
        widths.push_back(size.width());
        tabHeight = std::max(tabHeight, size.height());
    }
    std::vector<std::vector<int>> rows = BalancedRows(widths, available);
    // The row of the chosen tab goes next to the page; the rows keep their cyclic order.
    const int current = currentIndex();
    auto chosen = std::find_if(rows.begin(), rows.end(), [current](const std::vector<int>& row) {
        return std::find(row.begin(), row.end(), current) != row.end();
    });
    if (chosen != rows.end()) {
        std::rotate(rows.begin(), chosen + 1, rows.end());
    }

    m_rects.assign(static_cast<std::size_t>(count()), QRect());
    m_rowOf.assign(static_cast<std::size_t>(count()), 0);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::vector<int>& row = rows[r];
        int natural = 0;
        for (int i : row) {
            natural += TabSize(i).width();
        }
        // Several rows are stretched to the full width, so they stack as one block.
        const int extra = rows.size() > 1 ? std::max(available - natural, 0) : 0;
        int x = 0;
        for (std::size_t k = 0; k < row.size(); ++k) {
            const int share = extra / static_cast<int>(row.size()) +
                              (static_cast<int>(k) < extra % static_cast<int>(row.size()) ? 1 : 0);
            const int w = TabSize(row[k]).width() + share;
            m_rects[static_cast<std::size_t>(row[k])] =
                QRect(x, static_cast<int>(r) * tabHeight, w, tabHeight);
            m_rowOf[static_cast<std::size_t>(row[k])] = static_cast<int>(r);
            x += w;
        }
    }
    m_rows = static_cast<int>(rows.size());
    m_barHeight = m_rows * tabHeight;
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) + 4;
    layout()->setContentsMargins(frame, m_barHeight + frame, frame, frame);
}

void MultiRowTabs::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Relayout();
}

QSize MultiRowTabs::minimumSizeHint() const
{
    return QSize(100, m_barHeight + m_stack->minimumSizeHint().height());
}

void MultiRowTabs::paintEvent(QPaintEvent* /*event*/)
{
    // Drawn here rather than by the style's tab bar: the style knows only one row of tabs
    // and shades the page under the chosen one as if it were the only row.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPalette& colours = palette();
    const QColor line = colours.color(QPalette::Mid);
    const QColor page = colours.color(QPalette::Window);
    const QColor idle = colours.color(QPalette::Button).darker(108);
    const int current = currentIndex();

    const QRectF frame = QRectF(rect()).adjusted(0.5, m_barHeight + 0.5, -0.5, -0.5);
    painter.setPen(line);
    painter.setBrush(page);
    painter.drawRoundedRect(frame, 2, 2);

    auto tabShape = [](const QRectF& r) {
        constexpr qreal kRound = 3;
        QPainterPath path;
        path.moveTo(r.bottomLeft());
        path.lineTo(r.left(), r.top() + kRound);
        path.quadTo(r.topLeft(), QPointF(r.left() + kRound, r.top()));
        path.lineTo(r.right() - kRound, r.top());
        path.quadTo(r.topRight(), QPointF(r.right(), r.top() + kRound));
        path.lineTo(r.bottomRight());
        return path;
    };
    auto drawTab = [&](int i) {
        const bool chosen = i == current;
        QRectF r = QRectF(tabRect(i)).adjusted(0.5, 0.5, -0.5, 0.5);
        if (!chosen) {
            r.adjust(1, 2, -1, 0);
        }
        const QPainterPath shape = tabShape(r);
        painter.setPen(Qt::NoPen);
        painter.setBrush(chosen ? page : idle);
        painter.drawPath(shape);
        painter.setPen(line);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(shape);
        if (chosen) {
            // Opens the page's frame under the chosen tab.
            painter.fillRect(QRectF(r.left() + 1, r.bottom() - 0.5, r.width() - 2, 1.5), page);
        }
        painter.setPen(
            colours.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, m_titles[i]);
    };
    for (int i = 0; i < count(); ++i) {
        if (i != current) {
            drawTab(i);
        }
    }
    if (current >= 0) {
        drawTab(current);
    }
}

void MultiRowTabs::mousePressEvent(QMouseEvent* event)
{
    for (int i = 0; i < count(); ++i) {
        if (tabRect(i).contains(event->position().toPoint())) {
            setCurrentIndex(i);
            event->accept();
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

} // namespace ornel
