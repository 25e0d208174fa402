#pragma once

#include "widgets/BaseWindow.h"

// Frameless dialog with a separator under its title row and one above its button row.
class BaseDialog : public BaseWindow
{
    Q_OBJECT

public:
    explicit BaseDialog(QWidget* parent = nullptr);

    static constexpr int kTitleLineY = 54;
    static constexpr int kButtonLineOffset = 58; // from the bottom

protected:
    void paintEvent(QPaintEvent* event) override;
};
