#include "ui/MyTichengWidget.h"

#include "app/SignedInBrowser.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "ui/ListBaseTabContent.h"
#include "ui/MyTichengBody.h"

#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

MyTichengWidget::MyTichengWidget(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("ticheng_page");
    setStyleSheet(ListBaseTabContent::pageStyleSheet());
    layout = new QVBoxLayout(this);
    layout->setContentsMargins(30, 8, 30, 20);
    tabs = new QTabBar(this);
    tabs->addTab(QStringLiteral("普通资料提成"));
    tabs->addTab(QStringLiteral("精品资料提成"));
    tabs->setExpanding(false);
    tabs->setFixedHeight(36);
    withdrawBtn = new QPushButton(QStringLiteral("申请提现"), tabs);
    withdrawBtn->setObjectName("btn_withdraw");
    withdrawBtn->setFixedSize(72, 28);
    withdrawBtn->setCursor(Qt::PointingHandCursor);
    connect(withdrawBtn, &QPushButton::clicked, this, [] { openSignedIn(URL_DRAWING_APPLY); });
    layout->addWidget(tabs);
    switchTab(0);
    connect(tabs, &QTabBar::currentChanged, this, &MyTichengWidget::switchTab);
}

void MyTichengWidget::switchTab(int index)
{
    auto* next = new MyTichengBody(index, this);
    if (currentBody) {
        delete layout->replaceWidget(currentBody, next); // the replaced item is ours to free
        currentBody->hide();
        delete currentBody;
    } else {
        layout->addWidget(next, 1);
    }
    currentBody = next;
}

void MyTichengWidget::resizeEvent(QResizeEvent* event)
{
    BaseWidget::resizeEvent(event);
    withdrawBtn->move(width() - 132, 4);
}
