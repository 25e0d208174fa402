#pragma once

#include "widgets/BaseWidget.h"

class MyTichengBody;
class QPushButton;
class QTabBar;
class QVBoxLayout;

// "我的提成": commission of ordinary and of premium resources, and the withdrawal page.
class MyTichengWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyTichengWidget(QWidget* parent = nullptr);

    QTabBar* tabBar() const { return tabs; }
    MyTichengBody* body() const { return currentBody; }
    QPushButton* withdrawButton() const { return withdrawBtn; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void switchTab(int index);

    MyTichengBody* currentBody = nullptr;
    QPushButton* withdrawBtn = nullptr;
    QTabBar* tabs = nullptr;
    QVBoxLayout* layout = nullptr;
};
