#include "ui/MyUplistWidget.h"

#include "app/NestedWait.h"
#include "ui/ListDaishen.h"
#include "ui/ListHuishou.h"
#include "ui/ListYishen.h"
#include "ui/MyDetailWidget.h"

#include <QStackedLayout>
#include <QTabBar>
#include <QVBoxLayout>

MyUplistWidget::MyUplistWidget(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("uplist_page");
    setStyleSheet(ListBaseTabContent::pageStyleSheet());
    stacked = new QStackedLayout(this);
    listWidget = new QWidget(this);
    listLayout = new QVBoxLayout(listWidget);
    listLayout->setSpacing(0);
    listLayout->setContentsMargins(30, 8, 30, 20);
    tabs = new QTabBar(listWidget);
    tabs->addTab(QStringLiteral("待审核资料"));
    tabs->addTab(QStringLiteral("已审核资料"));
    tabs->addTab(QStringLiteral("回收站"));
    tabs->setCurrentIndex(0);
    tabs->setExpanding(false);
    listLayout->addWidget(tabs);
    stacked->addWidget(listWidget);
    switchTab(0);
    connect(tabs, &QTabBar::currentChanged, this, &MyUplistWidget::switchTab);
}

void MyUplistWidget::switchTab(int index)
{
    currentIndex = index;
    ListBaseTabContent* next = nullptr;
    if (index == 1) {
        auto* reviewed = new ListYishen(listWidget);
        connect(reviewed, &ListYishen::view_asset, this, &MyUplistWidget::showDetail);
        next = reviewed;
    } else if (index == 2) {
        next = new ListHuishou(listWidget);
    } else {
        next = new ListDaishen(listWidget);
    }
    if (tab) {
        delete listLayout->replaceWidget(tab, next); // the replaced item is ours to free
        tab->hide();
        delete tab;
    } else {
        listLayout->addWidget(next, 1);
    }
    tab = next;
}

void MyUplistWidget::showDetail(const QJsonObject& object)
{
    delete detail;
    detail = new MyDetailWidget(object, this);
    stacked->addWidget(detail);
    stacked->setCurrentWidget(detail);
    connect(detail, &MyDetailWidget::s_back_2_list, this, [this] {
        stacked->setCurrentWidget(listWidget);
        // Deleted later: the signal comes from inside the widget's own button.
        NestedWait::deleteWhenIdle(detail);
        detail = nullptr;
    });
}
