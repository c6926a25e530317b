// The "Мониторинг" tab of the options dialog: the periodic check, the start-up choice, the
// quiet period and the cycle sounds. UI thread only.
#pragma once

#include <QWidget>

class QCheckBox;
class QSpinBox;

namespace ornel
{

class PathField;

class MonitoringTab final : public QWidget
{
    Q_OBJECT

public:
    explicit MonitoringTab(QWidget* parent);

    QSpinBox* EInterval;
    QCheckBox* CBAutoRun;
    QSpinBox* EPause;
    QCheckBox* CBPlaySound;
    PathField* EPlayStart;
    QCheckBox* CBPlaySoundFTP;
    PathField* EPlayFTP;
    QCheckBox* CBSoundOFF;
};

} // namespace ornel
