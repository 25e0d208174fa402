#include "app/MsgBoxNotifier.h"

#include "widgets/MyMsgBox.h"

#include <QApplication>

namespace {

int show(const QString& text, const QString& title, bool withCancel)
{
    MyMsgBox box(QApplication::activeWindow());
    box.setText(text);
    if (!title.isEmpty())
        box.setTitle(title);
    box.setCancelVisible(withCancel);
    return box.exec();
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
