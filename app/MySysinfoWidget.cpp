#include "app/MySysinfoWidget.h"

#include "net/Endpoints.h"
#include "widgets/OpenLink.h"

#include <QLabel>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

MySysinfoWidget::MySysinfoWidget(QWidget* parent)
    : BaseWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    label = new QLabel(this);
    label->setObjectName("sysinfo_label");
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    showCount();
    timer = new QTimer(this);
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, &MySysinfoWidget::redirectTo);
    timer->start();
}

void MySysinfoWidget::showCount()
{
    label->setText(QString("即将跳转至网页端Quorvane“系统消息“（%1）").arg(count));
}

void MySysinfoWidget::redirectTo()
{
    --count;
    showCount();
    if (count <= 0) {
        count = 3;
        timer->stop();
        openLink(QUrl(URL_UCP_PM), this);
    }
}

QString MySysinfoWidget::labelText() const
{
    return label->text();
}

bool MySysinfoWidget::isCounting() const
{
    return timer->isActive();
}
