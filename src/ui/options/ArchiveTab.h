// The "Архив сообщений" tab of the options dialog: the four archive roots. UI thread only.
#pragma once

#include <QWidget>

namespace ornel
{

class PathField;

class ArchiveTab final : public QWidget
{
    Q_OBJECT

public:
    explicit ArchiveTab(QWidget* parent);

    PathField* EArcReciv;  // sent, encrypted
    PathField* EArcSend;   // received, encrypted
    PathField* EArcReciv2; // sent, before encryption
    PathField* EArcSend2;  // received, after decryption
};

} // namespace ornel
