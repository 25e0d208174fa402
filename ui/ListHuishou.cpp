#include "ui/ListHuishou.h"

#include "ui/ListYishen.h"
#include "widgets/PlainText.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalMapper>

ListHuishou::ListHuishou(QWidget* parent)
    : ListBaseTabContent(parent)
{
    downloadMapper = ListYishen::downloadMapperFor(this);
    initTable();
}

void ListHuishou::initTable()
{
    buildTable({ { QStringLiteral("未通过原因"), 120 },
                 { QStringLiteral("上传/审核时间"), 120 },
                 { QStringLiteral("操作"), 100 } },
               QStringLiteral("呀，暂无数据"), 419);
}

void ListHuishou::renderTBody()
{
    requestPage(QStringLiteral("3,4,13"));
}

void ListHuishou::addColumns(QHBoxLayout* rowLayout, QWidget* rowWidget, QLabel*, const QJsonObject& row)
{
    QLabel* reason = centredLabel(QStringLiteral("用户自主删除"), 120, rowWidget);
    reason->setObjectName("reason_mark_column");
    const QString remark = row.value(QLatin1String("editremark")).toString();
    if (!remark.isEmpty()) {
        const QFontMetrics metrics(reason->font());
        reason->setText(metrics.horizontalAdvance(remark) >= 100 ? metrics.elidedText(remark, Qt::ElideRight, 100)
                                                                 : remark);
        setPlainToolTip(reason, remark);
    }
    rowLayout->addWidget(reason);
    rowLayout->addWidget(
        centredLabel(QStringLiteral("%1\n%2").arg(rowTime(row, "dateline"), rowTime(row, "editline")), 120, rowWidget));
    rowLayout->addWidget(ListYishen::downloadButton(row, 100, downloadMapper, rowWidget));
}
