#include "form/MyBreadWidget.h"

#include "widgets/MyMsgBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

MyBreadWidget::MyBreadWidget(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("asset_bread");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(30, 10, 30, 10);
    layout->setSpacing(0);
    layout->addWidget(new QLabel("当前位置：", this));
    back = new QPushButton("上传列表", this);
    back->setObjectName("bread_back_link");
    back->setFlat(true);
    back->setCursor(Qt::PointingHandCursor);
    back->setStyleSheet("QPushButton{border:none;color:#2BBB61;padding:0;}");
    layout->addWidget(back);
    layout->addWidget(new QLabel(" / 资料详情 ", this));
    layout->addStretch();
    connect(back, &QPushButton::clicked, this, [this] {
        if (MyMsgBox::confirm("确定退出编辑吗？", this) == 1)
            emit s_back_2_list();
    });
}

QString MyBreadWidget::text() const
{
    QString all;
    for (int i = 0; i < layout()->count(); ++i) {
        QWidget* w = layout()->itemAt(i)->widget();
        if (auto* l = qobject_cast<QLabel*>(w))
            all += l->text();
        else if (auto* b = qobject_cast<QPushButton*>(w))
            all += b->text();
    }
    return all;
}
