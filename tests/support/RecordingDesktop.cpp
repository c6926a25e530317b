#include "support/RecordingDesktop.h"

namespace ornel::test {

void RecordingDesktop::SetProgressPosition(std::int64_t position)
{
    ProgressPosition = position;
    ProgressPositions.push_back(position);
}

void RecordingDesktop::SetTrayAnimated(bool animated)
{
    Animated = animated;
    AnimationChanges.push_back(animated);
}

void RecordingDesktop::ShowBalloon(const std::string& title, const std::string& text, BalloonIcon icon,
                                   int timeoutMs)
{
    Balloons.push_back({title, text, icon, timeoutMs});
}

void RecordingDesktop::ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon)
{
    Boxes.push_back({caption, text, icon});
}

void RecordingDesktop::AppendMessageWindow(const std::string& text)
{
    MessageWindowBlocks.push_back(text);
}

void RecordingDesktop::SetApplicationTitle(const std::string& title)
{
    Title = title;
    Titles.push_back(title);
}

} // namespace ornel::test
