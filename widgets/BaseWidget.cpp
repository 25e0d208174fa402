#include "widgets/BaseWidget.h"

#include <QPainter>
#include <QStyleOption>

BaseWidget::BaseWidget(QWidget* parent)
    : QWidget(parent)
{
}

void BaseWidget::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
