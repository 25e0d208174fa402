#pragma once

#include "widgets/BaseWidget.h"

class QLabel;
class QPushButton;

// One chosen type on the form: its title and a close button that asks for removal.
class MyCategoryItemNode : public BaseWidget
{
    Q_OBJECT

public:
    MyCategoryItemNode(const QString& title, int typeid_, int typeidroot, QWidget* parent = nullptr);

    QString title() const;
    int typeid_ = 0;
    int typeidroot = 0;
    QPushButton* closeButton() const { return closeBtn; }

signals:
    void s_del_self();

private:
    QLabel* label = nullptr;
    QPushButton* closeBtn = nullptr;
};
