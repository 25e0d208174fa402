#include "ui/MyUplistWidget.h"

#include <QLabel>
#include <QVBoxLayout>

MyUplistWidget::MyUplistWidget(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("uplist_page");
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel("我的上传", this);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet("font-size: 16px; color: #999;");
    layout->addWidget(label);
}
