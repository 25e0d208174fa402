#include "app/MySidebarWidget.h"

#include <QVBoxLayout>

QList<MyMenuData> MySidebarWidget::entries()
{
    return {
        { "itemlist", "资料上传", "itemlist", MENU_ITEMLIST },
        { "uplist", "我的上传", "uplist", MENU_UPLIST },
        { "ticheng", "我的提成", "ticheng", MENU_TICHENG },
        { "sysmsg", "系统消息", "sysmsg", MENU_SYSMSG },
    };
}

MySidebarWidget::MySidebarWidget(QWidget* parent)
    : BaseWidget(parent)
{
    qRegisterMetaType<MyMenuType>("MyMenuType");
    setFixedWidth(180);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 20, 0, 0);
    for (const MyMenuData& data : entries()) {
        auto* btn = new MyMenuButton(data, this);
        buttons.append(btn);
        layout->addWidget(btn);
        const MyMenuType type = data.type;
        connect(btn, &QPushButton::clicked, this, [this, type] {
            if (type != currentType)
                emit s_toggle_current_menu(type);
        });
    }
    layout->addStretch();
}

void MySidebarWidget::setCurrent(MyMenuType type)
{
    for (MyMenuButton* btn : qAsConst(buttons))
        btn->setActive(btn->menuData().type == type);
    currentType = type;
}

MyMenuButton* MySidebarWidget::button(MyMenuType type) const
{
    for (MyMenuButton* btn : buttons) {
        if (btn->menuData().type == type)
            return btn;
    }
    return nullptr;
}
