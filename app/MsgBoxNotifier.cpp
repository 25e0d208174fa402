#include "app/MsgBoxNotifier.h"

#include "widgets/MyMsgBox.h"

#include <QApplication>

namespace {

int show(const QString& text, const QString& title, bool withCancel)
{
    return MyMsgBox::ask(text, QApplication::activeWindow(), MyMsgBox::Look { title, false, withCancel });
}

} // namespace

// The engine's titles ("网络异常", "1 error: " …) tell the user what kind of trouble it is.
void MsgBoxNotifier::alert(const QString& text, const QString& title)
{
    show(text, title, false);
}

int MsgBoxNotifier::confirm(const QString& text, const QString& title)
{
    return show(text, title, true) == 1 ? 1 : 0;
}
