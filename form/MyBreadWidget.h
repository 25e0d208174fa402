#pragma once

#include "widgets/BaseWidget.h"

class QPushButton;

// The form's breadcrumb "当前位置：上传列表 / 资料详情 "; its link back to the list asks first.
class MyBreadWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyBreadWidget(QWidget* parent = nullptr);

    QString text() const;
    QPushButton* backLink() const { return back; }

signals:
    // The author confirmed leaving the form.
    void s_back_2_list();

private:
    QPushButton* back = nullptr;
};
