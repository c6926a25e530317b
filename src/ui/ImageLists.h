// The program's pictures, drawn from the SVG resources: the tray frames, the menu
// images by role, the logo and the About picture. Stateless; UI thread only.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace ornel
{

// Menu images, in the order of the menu's image list.
enum class MenuImage
{
    Settings = 0,
    MonitoringOn = 1,
    ReceiveSend = 2,
    SendReceive = 3,
    Status = 4,
    About = 5,
    Mail = 6,
    Exit = 7,
    Help = 8,
    MonitoringOff = 9,
};

class ImageLists
{
public:
    static constexpr int kTrayFrameCount = 6;
    static constexpr int kMenuImageCount = 10;
    static constexpr int kTrayFrameSize = 32;
    static constexpr int kMenuImageSize = 16;
    static constexpr int kLogoWidth = 150;
    static constexpr int kLogoHeight = 39;

    // Tray frame 0 is the idle picture, 0 to 5 the animation. Out-of-range indexes give
    // frame 0.
    [[nodiscard]] static QIcon TrayFrame(int index);
    [[nodiscard]] static QIcon Menu(MenuImage image);
    [[nodiscard]] static QIcon Menu(int index);
    // Rendered at the given size (device-independent pixels) and the screen's ratio.
    [[nodiscard]] static QPixmap Logo(QSize size = QSize(kLogoWidth, kLogoHeight), qreal ratio = 1.0);
    [[nodiscard]] static QPixmap Program(QSize size = QSize(66, 92), qreal ratio = 1.0);

private:
    [[nodiscard]] static QPixmap Render(const QString& resource, QSize size, qreal ratio);
};

} // namespace ornel
