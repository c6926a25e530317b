#include "ui/WindowPlacement.h"

#include "platform/RegistryStore.h"

#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

namespace ornel
{

namespace
{

template <typename Read> auto Tolerant(Read read) -> decltype(read())
{
    // Placement is a convenience: a value that cannot be read leaves the window where
    // it was computed to be.
    try {
        return read();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

std::string FormatRectValue(const QRect& rect)
{
    char text[64];
    std::snprintf(text, sizeof text, "%d,%d,%d,%d", rect.left(), rect.top(), rect.left() + rect.width(),
                  rect.top() + rect.height());
    return text;
}

std::optional<QRect> ParseRectValue(const std::string& text)
{
    std::vector<long> numbers;
    std::string_view rest(text);
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string part(rest.substr(0, comma));
        if (part.empty()) {
            return std::nullopt;
        }
        std::size_t used = 0;
        long value = 0;
        try {
            value = std::stol(part, &used);
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (used != part.size() || value < -1000000 || value > 1000000) {
            return std::nullopt;
        }
        numbers.push_back(value);
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    if (numbers.size() != 4) {
        return std::nullopt;
    }
    const auto left = static_cast<int>(numbers[0]);
    const auto top = static_cast<int>(numbers[1]);
    return QRect(left, top, static_cast<int>(numbers[2]) - left, static_cast<int>(numbers[3]) - top);
}

WindowPlacement ReadPlacement(const RegistryKey& key, const std::string& tabValueName)
{
    WindowPlacement placement;
    placement.ShowCmd =
        Tolerant([&] { return key.ReadIntegerIfPresent("ShowCmd"); }).value_or(WindowPlacement::kShowNormal);
    placement.Flags = Tolerant([&] { return key.ReadIntegerIfPresent("Flags"); }).value_or(0);
    placement.PixelsPerInch = Tolerant([&] { return key.ReadIntegerIfPresent("PixelsPerInch"); }).value_or(0);
    auto rect = [&](const char* name) -> std::optional<QRect> {
        const std::optional<std::string> text = Tolerant([&] { return key.ReadStringIfPresent(name); });
        return text ? ParseRectValue(*text) : std::nullopt;
    };
    placement.MinMaxPos = rect("MinMaxPos");
    placement.NormPos = rect("NormPos");
    if (placement.NormPos && (placement.NormPos->width() <= 0 || placement.NormPos->height() <= 0)) {
        placement.NormPos.reset();
    }
    placement.TabIndex = Tolerant([&] { return key.ReadIntegerIfPresent(tabValueName); });
    return placement;
}

void WritePlacement(RegistryKey& key, const WindowPlacement& placement, const std::string& tabValueName)
{
    key.WriteInteger("FormVersion", 0);
    key.WriteInteger("ShowCmd", placement.ShowCmd);
    key.WriteInteger("Flags", placement.Flags);
    key.WriteInteger("PixelsPerInch", placement.PixelsPerInch);
    key.WriteString("MinMaxPos",
                    FormatRectValue(placement.MinMaxPos.value_or(QRect(QPoint(-1, -1), QPoint(-2, -2)))));
    if (placement.NormPos) {
        key.WriteString("NormPos", FormatRectValue(*placement.NormPos));
    }
    if (placement.TabIndex) {
        key.WriteInteger(tabValueName, *placement.TabIndex);
    }
}

} // namespace ornel
