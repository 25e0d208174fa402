#include "widgets/BaseDialog.h"

#include <QPainter>

BaseDialog::BaseDialog(QWidget* parent)
    : BaseWindow(parent)
{
}

void BaseDialog::paintEvent(QPaintEvent* event)
{
    BaseWindow::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor("#dcdcdc"));
    painter.drawLine(6, kTitleLineY, width() - 6, kTitleLineY);
    const int bottomY = height() - kButtonLineOffset;
    painter.drawLine(6, bottomY, width() - 6, bottomY);
}
