// The "Каталог (POST_BOX)" tab of the options dialog: the two post-box folders. UI thread
// only.
#pragma once

#include <QWidget>

namespace ornel
{

class PathField;

class PostBoxTab final : public QWidget
{
    Q_OBJECT

public:
    explicit PostBoxTab(QWidget* parent);

    PathField* EPostBoxOut;
    PathField* EPostBoxIn;
};

} // namespace ornel
