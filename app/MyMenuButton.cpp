#include "app/MyMenuButton.h"

#include <QStyle>

MyMenuButton::MyMenuButton(const MyMenuData& data, QWidget* parent)
    : QPushButton(data.text, parent)
    , iconKey(data.icon)
    , menu_data(data)
{
    setObjectName(data.name);
    setFixedHeight(60);
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setIconSize(QSize(20, 20));
    refreshIcon();
}

QString MyMenuButton::iconPath() const
{
    const bool lit = is_active || hovered;
    return ":/images/" + iconKey + (lit ? "_hover" : "_normal") + ".png";
}

void MyMenuButton::setActive(bool active)
{
    is_active = active;
    refreshIcon();
    // The style sheet selects on is_active; it is only re-read on a re-polish.
    style()->unpolish(this);
    style()->polish(this);
    update();
}

void MyMenuButton::refreshIcon()
{
    setIcon(QIcon(iconPath()));
}

void MyMenuButton::enterEvent(QEvent* event)
{
    hovered = true;
    refreshIcon();
    QPushButton::enterEvent(event);
}

void MyMenuButton::leaveEvent(QEvent* event)
{
    hovered = false;
    refreshIcon();
    QPushButton::leaveEvent(event);
}
