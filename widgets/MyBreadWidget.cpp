#include "widgets/MyBreadWidget.h"

#include "widgets/SharpPixmap.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

MyBreadWidget::MyBreadWidget(const QString& text, QWidget* parent)
    : BaseWidget(parent)
{
    setFixedHeight(32);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* pin = new QLabel(this);
    pin->setPixmap(sharpPixmap(":/images/PosF.png"));
    layout->addWidget(pin);
    label = new QLabel(text, this);
    layout->addWidget(label);
    layout->addStretch();
    backBtn = new QPushButton(QIcon(":/images/back.png"), QStringLiteral("返回列表"), this);
    backBtn->setCursor(Qt::PointingHandCursor);
    backBtn->setFlat(true);
    layout->addWidget(backBtn);
    connect(backBtn, &QPushButton::clicked, this, &MyBreadWidget::goback);
}
