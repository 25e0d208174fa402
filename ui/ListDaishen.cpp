#include "ui/ListDaishen.h"

#include <QHBoxLayout>
#include <QLabel>

ListDaishen::ListDaishen(QWidget* parent)
    : ListBaseTabContent(parent)
{
    initTable();
}

void ListDaishen::initTable()
{
    buildTable({ { QStringLiteral("上传时间"), 120 } }, QStringLiteral("呀，暂无数据"), 169);
}

void ListDaishen::renderTBody()
{
    requestPage(QStringLiteral("5,6,15"));
}

void ListDaishen::addColumns(QHBoxLayout* rowLayout, QWidget* rowWidget, QLabel*, const QJsonObject& row)
{
    rowLayout->addWidget(centredLabel(rowTime(row, "dateline"), 120, rowWidget));
}
