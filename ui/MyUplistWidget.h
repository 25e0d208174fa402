#pragma once

#include "widgets/BaseWidget.h"

// Temporary page: shows its title until the real page lands.
class MyUplistWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyUplistWidget(QWidget* parent = nullptr);
};
