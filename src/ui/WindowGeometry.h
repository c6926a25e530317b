// Small placement helpers shared by the desktop's windows. UI thread only.
#pragma once

class QWidget;

namespace ornel
{

// Centres the window on the primary screen (the whole screen, not the work area).
void CentreOnScreen(QWidget& window);

} // namespace ornel
