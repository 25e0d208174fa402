#pragma once

#include "widgets/BaseWidget.h"

class QLabel;
class QPushButton;

// The "where am I" bar above a sub-page: a pin, the path text and a back button.
class MyBreadWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyBreadWidget(const QString& text, QWidget* parent = nullptr);

    QLabel* textLabel() const { return label; }
    QPushButton* backButton() const { return backBtn; }

signals:
    void goback();

private:
    QLabel* label = nullptr;
    QPushButton* backBtn = nullptr;
};
