#include "ui/MyDetailWidget.h"

#include "widgets/MyBreadWidget.h"
#include "widgets/PlainText.h"

#include <QFormLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

MyDetailWidget::MyDetailWidget(const QJsonObject& detail, QWidget* parent)
    : BaseWidget(parent)
{
    auto text = [&detail](const char* key) { return detail.value(QLatin1String(key)).toString(); };
    auto* layout = new QVBoxLayout(this);

    breadBar = new MyBreadWidget(QStringLiteral("当前位置：上传列表  /  资料详情"), this);
    breadBar->setObjectName("asset_bread");
    connect(breadBar, &MyBreadWidget::goback, this, &MyDetailWidget::s_back_2_list);
    layout->addWidget(breadBar);

    title = plainLabel(text("title"), this);
    title->setObjectName("asset_title");
    title->setFixedHeight(80);
    title->setContentsMargins(30, 0, 0, 0);
    layout->addWidget(title);

    auto* formWidget = new QWidget(this);
    formWidget->setObjectName("form_widget");
    formLayout = new QFormLayout(formWidget);
    formLayout->setVerticalSpacing(35);
    formLayout->setHorizontalSpacing(15);
    formLayout->setContentsMargins(30, 0, 0, 0);
    const QString region = text("province_name").isEmpty()
        ? QStringLiteral("全国")
        : text("province_name") + text("city_name") + text("dist_name");
    const QPair<QString, QString> rows[] = {
        { QStringLiteral("资料类型："), text("types") + '/' + text("sub_types") },
        { QStringLiteral("资料类别："), text("flag_name") },
        { QStringLiteral("学段学科："), text("stage") + text("subject_name") },
        { QStringLiteral("资料栏目："), text("categories") },
        { QStringLiteral("资料属性："), text("copyright") },
        { QStringLiteral("适用地区："), region },
        { QStringLiteral("自评星级："), text("point") + QStringLiteral("星") },
    };
    for (const auto& row : rows) {
        QLabel* value = plainLabel(row.second, formWidget);
        value->setStyleSheet("color: #666");
        formLayout->addRow(new QLabel(row.first, formWidget), value);
    }
    layout->addWidget(formWidget);
    layout->addStretch();
}

void MyDetailWidget::paintEvent(QPaintEvent* event)
{
    BaseWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor("#dcdcdc"));
    painter.drawLine(0, 51, width(), 51);
}
