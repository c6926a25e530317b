#include "ui/ImageLists.h"

#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <array>

static void InitUiResources()
{
    // The resources live in a static library; without this the linker drops them.
    Q_INIT_RESOURCE(ornel_ui);
}

namespace ornel
{

namespace
{

void EnsureResources()
{
    static const bool done = [] {
        InitUiResources();
        return true;
    }();
    (void)done;
}

const std::array<const char*, ImageLists::kMenuImageCount> kMenuFiles = {
    "menu_settings", "menu_monitoring_on", "menu_receive_send", "menu_send_receive", "menu_status",
    "menu_about",    "menu_mail",          "menu_exit",         "menu_help",         "menu_monitoring_off",
};

QIcon SvgIcon(const QString& resource)
{
    EnsureResources();
    // QIcon renders an SVG file sharply at every size that the menu or tray asks for.
    return QIcon(resource);
}

} // namespace

QIcon ImageLists::TrayFrame(int index)
{
    if (index < 0 || index >= kTrayFrameCount) {
        index = 0;
    }
    return SvgIcon(QStringLiteral(":/ornel/icons/tray%1.svg").arg(index));
}

QIcon ImageLists::Menu(MenuImage image)
{
    return Menu(static_cast<int>(image));
}

QIcon ImageLists::Menu(int index)
{
    if (index < 0 || index >= kMenuImageCount) {
        return {};
    }
    return SvgIcon(QStringLiteral(":/ornel/icons/%1.svg")
                       .arg(QLatin1String(kMenuFiles[static_cast<std::size_t>(index)])));
}

QPixmap ImageLists::Render(const QString& resource, QSize size, qreal ratio)
{
    EnsureResources();
    QSvgRenderer renderer(resource);
    QPixmap pixmap(size * ratio);
    pixmap.fill(Qt::transparent);
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QPixmap ImageLists::Logo(QSize size, qreal ratio)
{
    return Render(QStringLiteral(":/ornel/icons/logo.svg"), size, ratio);
}

QPixmap ImageLists::Program(QSize size, qreal ratio)
{
    return Render(QStringLiteral(":/ornel/icons/program.svg"), size, ratio);
}

} // namespace ornel
