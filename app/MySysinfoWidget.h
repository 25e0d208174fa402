#pragma once

#include "widgets/BaseWidget.h"

class QLabel;
class QTimer;

// System messages live on the website: the page counts down from 3 and then opens them in
// the browser.
class MySysinfoWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MySysinfoWidget(QWidget* parent = nullptr);

    QString labelText() const;
    bool isCounting() const;

public slots:
    void redirectTo();

private:
    void showCount();

    QLabel* label = nullptr;
    QTimer* timer = nullptr;
    int count = 3;
};
