// The "Временные каталоги" tab of the options dialog: the working folders of both sides.
// UI thread only.
#pragma once

#include <QWidget>

namespace ornel
{

class PathField;

class TempFoldersTab final : public QWidget
{
    Q_OBJECT

public:
    explicit TempFoldersTab(QWidget* parent);

    PathField* ETempSend;
    PathField* ETempReciv;
};

} // namespace ornel
