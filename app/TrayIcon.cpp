#include "app/TrayIcon.h"

#include <QAction>
#include <QMenu>

namespace {
int availableOverride = -1;
}

TrayIcon::TrayIcon(QObject* parent)
    : QSystemTrayIcon(parent)
{
    setIcon(QIcon(":/images/logo.png"));
    setToolTip("Zentrel");
    // The menu has no widget parent; it goes with the icon.
    auto* menu = new QMenu;
    connect(this, &QObject::destroyed, menu, &QObject::deleteLater);
    openAct = menu->addAction("打开Zentrel");
    logoutAct = menu->addAction("退出登录");
    setContextMenu(menu);
    connect(openAct, &QAction::triggered, this, &TrayIcon::s_open);
    connect(logoutAct, &QAction::triggered, this, &TrayIcon::s_logout);
    connect(this, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            emit s_open();
    });
}

bool TrayIcon::available()
{
    if (availableOverride >= 0)
        return availableOverride == 1;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::setAvailableOverride(int value)
{
    availableOverride = value;
}
