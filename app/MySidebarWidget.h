#pragma once

#include "app/MyMenuButton.h"
#include "widgets/BaseWidget.h"

#include <QList>

// The side menu. A click only asks for a change (s_toggle_current_menu); the main window
// decides and then calls setCurrent.
class MySidebarWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MySidebarWidget(QWidget* parent = nullptr);

    static QList<MyMenuData> entries();

    void setCurrent(MyMenuType type);
    MyMenuType current() const { return currentType; }
    MyMenuButton* button(MyMenuType type) const;

signals:
    void s_toggle_current_menu(MyMenuType index);

private:
    QList<MyMenuButton*> buttons;
    MyMenuType currentType = MENU_NONE;
};
