#pragma once

#include "app/MyMenuButton.h"
#include "widgets/BaseWindow.h"

#include <QByteArray>
#include <QPointer>

class MyAssetUpload;
class MySidebarWidget;
class MyTopbarWidget;
class MyVersionDialog;
class QHBoxLayout;
class QTimer;
class QVBoxLayout;
class TrayIcon;
class TrayNotices;

// The window the author works in after login: top bar, side menu and the selected page.
// It also carries out logout, switch of account and the end of an expired session.
class MainWindow : public BaseWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    MyTopbarWidget* topBar() const { return topbar; }
    MySidebarWidget* sideBar() const { return sidebar; }
    QWidget* currentPage() const { return page; }
    MyAssetUpload* uploadPage() const { return assetUpload; }
    TrayIcon* trayIcon() const { return tray; }
    int outerMargin() const;

signals:
    // The window a second program start must bring to the front.
    void s_w(QWidget* w);

public slots:
    void toggleMenu(MyMenuType index);
    // Ends this session and runs a fresh login dialog; on success a new main window
    // replaces this one, otherwise the program ends.
    void newLoginDialog();
    void logout();

protected:
    void closeEvent(QCloseEvent* event) override;
    // The window is a dialog underneath; its Esc (hide) and Enter (press the default
    // button) handling must not apply to the main window.
    void keyPressEvent(QKeyEvent* event) override;
    bool dragAnywhere() override { return false; }

private:
    void createTray();
    void switchPage(MyMenuType index);
    void onSessionInvalid(const QString& msg);
    void onMaximize();
    void onCloseButton();
    void bringToFront();
    // "关于Zentrel": the version dialog, not modal.
    void showVersionDialog();

    MyTopbarWidget* topbar = nullptr;
    MySidebarWidget* sidebar = nullptr;
    QWidget* page = nullptr;
    MyAssetUpload* assetUpload = nullptr;
    QHBoxLayout* rowLayout = nullptr;
    QByteArray savedGeometry;
    TrayIcon* tray = nullptr;
    TrayNotices* notices = nullptr;
    bool handlingExpiry = false;
    QPointer<QTimer> switchTimer;
    QPointer<MyVersionDialog> versionDialog;

    QVBoxLayout* outer = nullptr;
};
