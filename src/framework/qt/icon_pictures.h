#pragma once
// The Qt side of an Icon: one QIcon holds every size. Internal to the framework.

#include <QIcon>

#include "framework/icon.h"

struct fw::Icon::Pictures {
    QIcon icon;
};
