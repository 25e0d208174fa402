#pragma once

#include "widgets/BaseWidget.h"

// Temporary page: shows its title until the real page lands.
class MyTichengWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyTichengWidget(QWidget* parent = nullptr);
};
