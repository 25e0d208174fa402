#pragma once

#include "app/Notifier.h"

// The engine's messages shown in the program's own message box.
class MsgBoxNotifier : public Notifier
{
public:
    void alert(const QString& text, const QString& title = QString()) override;
    int confirm(const QString& text, const QString& title = QString()) override;
};
