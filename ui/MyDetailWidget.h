#pragma once

#include "widgets/BaseWidget.h"

#include <QJsonObject>

class MyBreadWidget;
class QFormLayout;
class QLabel;

// One resource as the website holds it, in place of the list until the author goes back.
class MyDetailWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyDetailWidget(const QJsonObject& detail, QWidget* parent = nullptr);

    MyBreadWidget* bread() const { return breadBar; }
    QLabel* titleLabel() const { return title; }
    QFormLayout* form() const { return formLayout; }

signals:
    void s_back_2_list();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MyBreadWidget* breadBar = nullptr;
    QLabel* title = nullptr;
    QFormLayout* formLayout = nullptr;
};
