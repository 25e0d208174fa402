#include "app/MsgBoxNotifier.h"

#include "widgets/MyMsgBox.h"

#include <QApplication>

// The box has one fixed title ("提示"); the engine's title is not shown.
void MsgBoxNotifier::alert(const QString& text, const QString&)
{
    MyMsgBox::alert(text, QApplication::activeWindow());
}

int MsgBoxNotifier::confirm(const QString& text, const QString&)
{
    return MyMsgBox::confirm(text, QApplication::activeWindow()) == 1 ? 1 : 0;
}
