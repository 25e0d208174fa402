#include "form/MyCategoryItemNode.h"

#include "widgets/PlainText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

MyCategoryItemNode::MyCategoryItemNode(const QString& title, int typeId, int rootId, QWidget* parent)
    : BaseWidget(parent)
    , typeid_(typeId)
    , typeidroot(rootId)
{
    setObjectName("category_item");
    setFixedHeight(30);
    setStyleSheet("#category_item{border:1px solid #2bbb61;border-radius:3px;background:#f0fbf4;}");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 4, 0);
    layout->setSpacing(4);
    label = plainLabel(title, this);
    layout->addWidget(label);
    closeBtn = new QPushButton("×", this);
    closeBtn->setObjectName("category_item_close");
    closeBtn->setFixedSize(18, 18);
    closeBtn->setCursor(Qt::PointingHandCursor);
    closeBtn->setFlat(true);
    closeBtn->setToolTip("移除");
    layout->addWidget(closeBtn);
    connect(closeBtn, &QPushButton::clicked, this, &MyCategoryItemNode::s_del_self);
}

QString MyCategoryItemNode::title() const
{
    return label->text();
}
