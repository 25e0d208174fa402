#pragma once

#include "app/Notifier.h"

#include <QList>
#include <QPair>
#include <QString>

// Remembers every box the engine wanted to show instead of showing it.
class RecordingNotifier : public Notifier
{
public:
    struct Box
    {
        QString kind; // "alert" or "confirm"
        QString title;
        QString text;
    };

    void alert(const QString& text, const QString& title) override { boxes.append({ "alert", title, text }); }
    int confirm(const QString& text, const QString& title) override
    {
        boxes.append({ "confirm", title, text });
        return 1;
    }

    QList<Box> boxes;
};
