// The "Дополнительно" tab of the options dialog: the UnKnOwn folder watch, the error-file
// alerts and the balloon. UI thread only.
#pragma once

#include <QWidget>

class QCheckBox;
class QSpinBox;

namespace ornel
{

class MaskedEdit;
class PathField;

class ExtraTab final : public QWidget
{
    Q_OBJECT

public:
    explicit ExtraTab(QWidget* parent);

    QCheckBox* CBUnKnOwnMonitoring;
    PathField* EUnKnOwn;
    QCheckBox* CBWindowUnknown;
    QCheckBox* CBPlaySoundUnknown;
    PathField* EPlayUnknown;
    QCheckBox* CBERRMonitoring;
    QCheckBox* CBPlaySoundERR;
    PathField* EPlayERR;
    QCheckBox* CBWindowERR;
    MaskedEdit* EERRExt; // a dot and three letters or digits
    QCheckBox* CBShowBallonHint;
    // Never shown: it carries the stored number of balloon lines through a save.
    QSpinBox* EBallonHintCountLines;
};

} // namespace ornel
