#include "ui/MyTichengWidget.h"

#include <QLabel>
#include <QVBoxLayout>

MyTichengWidget::MyTichengWidget(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("ticheng_page");
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel("我的提成", this);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet("font-size: 16px; color: #999;");
    layout->addWidget(label);
}
