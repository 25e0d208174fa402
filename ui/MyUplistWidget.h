#pragma once

#include "widgets/BaseWidget.h"

#include <QJsonObject>

class ListBaseTabContent;
class MyDetailWidget;
class QStackedLayout;
class QTabBar;
class QVBoxLayout;

// "我的上传": the author's resources on the site, one tab per state, and one resource's detail.
class MyUplistWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyUplistWidget(QWidget* parent = nullptr);

    QTabBar* tabBar() const { return tabs; }
    ListBaseTabContent* currentTab() const { return tab; }
    MyDetailWidget* detailWidget() const { return detail; }
    QWidget* listPage() const { return listWidget; }
    QStackedLayout* stack() const { return stacked; }

private:
    void switchTab(int index);
    void showDetail(const QJsonObject& object);

    QStackedLayout* stacked = nullptr;
    QWidget* listWidget = nullptr;
    QVBoxLayout* listLayout = nullptr;
    QTabBar* tabs = nullptr;
    MyDetailWidget* detail = nullptr;
    int currentIndex = 0;
    ListBaseTabContent* tab = nullptr;
};
