#pragma once

// For tests in which a real message box stays open (no seam answering it) while something
// happens underneath it. The driver looks at the screen the way a person would: it polls the
// active modal widget, and when that is a box with the awaited text it does the step's action.
// Once every step is done it presses "确定" on any box still open.

#include "widgets/MyMsgBox.h"

#include <QApplication>
#include <QList>
#include <QPushButton>
#include <QTimer>
#include <functional>

class HeldBox
{
public:
    HeldBox()
    {
        MyMsgBox::setUnattended(false);
        QObject::connect(&poll, &QTimer::timeout, [this] { look(); });
        poll.start(20);
    }
    ~HeldBox() { MyMsgBox::setUnattended(true); }

    // When the box showing `text` is the active one, `action` runs once.
    void onBox(const QString& text, std::function<void(MyMsgBox*)> action)
    {
        steps.append({ text, std::move(action) });
    }
    static void press(MyMsgBox* box) { box->submitButton()->click(); }
    bool stepsDone() const { return steps.isEmpty(); }

private:
    void look()
    {
        auto* box = qobject_cast<MyMsgBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        if (steps.isEmpty()) {
            press(box);
            return;
        }
        if (box->text() != steps.first().first)
            return;
        const auto action = steps.takeFirst().second;
        action(box);
    }

    QTimer poll;
    QList<QPair<QString, std::function<void(MyMsgBox*)>>> steps;
};
