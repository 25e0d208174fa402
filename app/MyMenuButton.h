#pragma once

#include <QMetaType>
#include <QPushButton>
#include <QString>

// Side-menu entry types; also the page each entry shows.
using MyMenuType = int;
enum : MyMenuType {
    MENU_ITEMLIST = 0, // 资料上传
    MENU_UPLIST = 1, // 我的上传
    MENU_TICHENG = 2, // 我的提成
    MENU_SYSMSG = 3, // 系统消息
    MENU_NONE = 4,
};

struct MyMenuData
{
    QString name; // object name of the button
    QString text; // caption
    QString icon; // key of the *_normal / *_hover pictures
    MyMenuType type = MENU_NONE;
};
Q_DECLARE_METATYPE(MyMenuData)

// One side-menu button: its icon is the hover picture while it is active or under the mouse.
class MyMenuButton : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(MyMenuData menu_data READ menuData)
    Q_PROPERTY(bool is_active READ isActive WRITE setActive)

public:
    explicit MyMenuButton(const MyMenuData& data, QWidget* parent = nullptr);

    const MyMenuData& menuData() const { return menu_data; }
    bool isActive() const { return is_active; }
    void setActive(bool active);
    // Resource path of the picture the button shows now.
    QString iconPath() const;

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void refreshIcon();

    QString iconKey;
    MyMenuData menu_data;
    bool is_active = false;
    bool hovered = false;
};
