#pragma once

#include <QString>

// The engine never shows windows itself. Where it must tell the user something it goes
// through the notifier that the GUI installs at start-up (tests install a recording one).
class Notifier
{
public:
    virtual ~Notifier() = default;
    // A box with an OK button (critical or information style).
    virtual void alert(const QString& text, const QString& title = QString()) = 0;
    // A box with OK and cancel; returns 1 for OK, 0 otherwise.
    virtual int confirm(const QString& text, const QString& title = QString()) = 0;
};
