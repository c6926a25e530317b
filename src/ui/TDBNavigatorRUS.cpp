#include "ui/TDBNavigatorRUS.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace ornel
{

namespace
{

const std::array<const char*, TDBNavigatorRUS::ButtonCount> kHints = {
    "Первая запись",      "Предыдущая запись", "Следующая запись",     "Последняя запись",
    "Добавить запись",    "Удалить запись",    "Редактировать запись", "Потдвердить изменения",
    "Отменить изменения", "Обновить данные",
};

const QColor kInk(0x3b, 0x4a, 0x5e);
const QColor kBlue(0x1f, 0x5f, 0xa8);
const QColor kOrange(0xf0, 0x8c, 0x00);

// Drawn rather than taken from a theme, so the buttons look the same on every desktop.
QIcon Glyph(TDBNavigatorRUS::Button button)
{
    constexpr qreal kRatio = 2.0;
    QPixmap pixmap(QSize(16, 16) * kRatio);
    pixmap.fill(Qt::transparent);
    pixmap.setDevicePixelRatio(kRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    auto triangle = [&p](qreal tipX, qreal baseX) {
        QPainterPath path;
        path.moveTo(tipX, 8);
        path.lineTo(baseX, 3);
        path.lineTo(baseX, 13);
        path.closeSubpath();
        p.fillPath(path, kInk);
    };
    QPen pen(kBlue, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (button) {
    case TDBNavigatorRUS::First:
        p.fillRect(QRectF(3, 3, 2, 10), kInk);
        triangle(5.5, 12.5);
        break;
    case TDBNavigatorRUS::Prior:
        triangle(4.5, 11.5);
        break;
    case TDBNavigatorRUS::Next:
        triangle(11.5, 4.5);
        break;
    case TDBNavigatorRUS::Last:
        triangle(10.5, 3.5);
        p.fillRect(QRectF(11, 3, 2, 10), kInk);
        break;
    case TDBNavigatorRUS::Insert:
        p.setPen(pen);
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case TDBNavigatorRUS::Delete:
        p.setPen(pen);
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case TDBNavigatorRUS::Edit: {
        QPainterPath path;
        path.moveTo(3, 13);
        path.lineTo(4, 10);
        path.lineTo(11, 3);
        path.lineTo(13, 5);
        path.lineTo(6, 12);
        path.closeSubpath();
        p.fillPath(path, kBlue);
        p.fillRect(QRectF(3, 13.5, 10, 1.2), kInk);
        break;
    }
    case TDBNavigatorRUS::Post:
        p.setPen(pen);
        p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
        break;
    case TDBNavigatorRUS::Cancel:
        p.setPen(QPen(kOrange, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case TDBNavigatorRUS::Refresh: {
        p.setPen(QPen(kBlue, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
        QPainterPath head;
        head.moveTo(8, 0.8);
        head.lineTo(11.5, 3);
        head.lineTo(8, 5.2);
        head.closeSubpath();
        p.fillPath(head, kBlue);
        break;
    }
    case TDBNavigatorRUS::ButtonCount:
        break;
    }
    p.end();
    return QIcon(pixmap);
}

} // namespace

TDBNavigatorRUS::TDBNavigatorRUS(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < ButtonCount; ++i) {
        const auto button = static_cast<Button>(i);
        auto* tool = new QToolButton(this);
        tool->setAutoRaise(true); // flat
        tool->setIcon(Glyph(button));
        tool->setIconSize(QSize(16, 16));
        tool->setToolTip(QString::fromUtf8(kHints[static_cast<std::size_t>(i)]));
        tool->setFocusPolicy(Qt::NoFocus);
        tool->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        tool->setMinimumHeight(25);
        connect(tool, &QToolButton::clicked, this, [this, button] { emit Clicked(button); });
        layout->addWidget(tool);
        m_buttons[static_cast<std::size_t>(i)] = tool;
    }
}

} // namespace ornel
