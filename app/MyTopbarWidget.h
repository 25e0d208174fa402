#pragma once

#include "widgets/BaseWidget.h"

class QMenu;
class QPushButton;
class UserAvatar;

// The main window's top bar: logo, account avatar and menu, help, and the window buttons.
class MyTopbarWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyTopbarWidget(QWidget* parent = nullptr);

    QMenu* userMenu() const { return userPopMenu; }
    QMenu* helpMenu() const { return helpPopMenu; }
    QPushButton* userButton() const { return userBtn; }
    QPushButton* minButton() const { return minBtn; }
    QPushButton* maxButton() const { return maxBtn; }
    QPushButton* closeButton() const { return closeBtn; }
    UserAvatar* avatar() const { return avatarImage; }
    // Picture the maximise button shows now.
    QString maxIconPath() const { return maxIcon; }

signals:
    void logout();
    void change_acc();
    void s_maximize();
    void s_minimize();
    void s_close();
    // "关于Zentrel": the window opens the version dialog.
    void s_about();

private:
    void onMaximize();
    void setMaxIcon(const QString& path);

    UserAvatar* avatarImage = nullptr;
    QPushButton* userBtn = nullptr;
    QPushButton* minBtn = nullptr;
    QPushButton* maxBtn = nullptr;
    QPushButton* closeBtn = nullptr;
    QMenu* userPopMenu = nullptr;
    QMenu* helpPopMenu = nullptr;
    QString maxIcon;
};
