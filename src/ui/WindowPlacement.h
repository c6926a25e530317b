// A window's stored placement (show state, screen resolution, normal rectangle, selected
// page) and its values in a per-user registry key. Used by the status window; UI thread.
#pragma once

#include <QRect>
#include <optional>
#include <string>

namespace ornel
{

class RegistryKey;

struct WindowPlacement
{
    static constexpr int kShowNormal = 1;
    static constexpr int kShowMinimized = 2;
    static constexpr int kShowMaximized = 3;

    int ShowCmd = kShowNormal;
    int Flags = 0;
    int PixelsPerInch = 0;
    std::optional<QRect> MinMaxPos; // minimized and maximized positions as one rectangle
    std::optional<QRect> NormPos;   // the normal frame rectangle
    std::optional<int> TabIndex;
};

// "left,top,right,bottom" <-> rectangle; std::nullopt for text that is not four integers.
[[nodiscard]] std::string FormatRectValue(const QRect& rect);
[[nodiscard]] std::optional<QRect> ParseRectValue(const std::string& text);

// Values that cannot be read (absent, of another kind, malformed) stay unset.
[[nodiscard]] WindowPlacement ReadPlacement(const RegistryKey& key, const std::string& tabValueName);
void WritePlacement(RegistryKey& key, const WindowPlacement& placement, const std::string& tabValueName);

} // namespace ornel
