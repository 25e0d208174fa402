#pragma once

#include "widgets/BaseWindow.h"

#include <QList>
#include <QString>
#include <functional>

class QDialog;
class QLabel;
class QObject;
class QPushButton;
class QTextBrowser;

// The program's message box: an alert with "确定" only, or a question with "确定" and
// "取消". "确定" accepts (1); "取消" and the close button reject (0).
//
// How boxes and other modal dialogs are held: a box runs its own event loop, and anything may
// happen inside it (a reply ends the batch, a submission removes the row, an expired session
// replaces the main window). So a box is never owned by an object that can go meanwhile and
// never lives on the stack: open it only through the static helpers (exec() is private), which
// keep it on the heap over the owner's top-level window, and run any other modal dialog through
// runDialog(). They answer Abandoned when the owner went, or is waiting to be deleted, while the
// box was open (the box then closes by itself); after Abandoned touch nothing of the owner. Forms,
// rows and windows are deleted with NestedWait::deleteWhenIdle() (app/NestedWait.h), which waits
// until every box and nested loop has closed.
class MyMsgBox : public BaseWindow
{
    Q_OBJECT

public:
    explicit MyMsgBox(QWidget* parent = nullptr);

    // Results of the helpers; Abandoned: the owner went while the box was open.
    enum Result { Abandoned = -1, Rejected = 0, Accepted = 1 };
    struct Look
    {
        QString title; // empty: "提示"
        bool html = false;
        bool cancel = true;
    };

    // `owner` is the object the box speaks for (null: nobody in particular).
    static int alert(const QString& text, QWidget* owner = nullptr);
    [[nodiscard]] static int confirm(const QString& text, QWidget* owner = nullptr, bool html = false);
    static int ask(const QString& text, QWidget* owner, const Look& look);
    // Runs `dialog` (on the heap) modally for `owner`; deletes it afterwards when `dispose`.
    // The dialog's result, or Abandoned as above.
    static int runDialog(QDialog* dialog, const QObject* owner, bool dispose = true);

    void setText(const QString& text, bool html = false);
    // The title row reads "提示" unless the caller names the box otherwise.
    void setTitle(const QString& title);
    QString title() const;
    void setCancelVisible(bool visible);

    QString text() const;
    bool isHtml() const { return html; }
    bool hasCancel() const;
    QPushButton* submitButton() const { return submitBtn; }
    QPushButton* cancelButton() const { return cancelBtn; }
    QPushButton* closeButton() const { return closeBtn; }

    // ---- test seam ----
    // Which button a test presses on the next box.
    enum Answer { PressSubmit, PressCancel, PressClose };
    // Queues answers for the coming boxes, one each, in order. The answer is given by
    // clicking the real button once the box runs; asking for "取消" on a box that has none
    // presses the close button instead (and is visible in the record as hasCancel false).
    static void answerNext(Answer answer);
    static int pendingAnswers();
    // With unattended on, a box for which no answer is queued closes itself (result 0)
    // instead of waiting for a person; tests turn this on so that a stray box cannot hang.
    static void setUnattended(bool on);
    // What every box showed, oldest first.
    struct Shown
    {
        QString text;
        QString title;
        bool html = false;
        bool hasCancel = false;
        int result = -1;
    };
    static QList<Shown> shownBoxes();
    static void clearShown();
    // Called with each box once it runs (after the queued answer, if any, is scheduled);
    // lets a test look at the box or press something itself.
    static void setShowHook(std::function<void(MyMsgBox*)> hook);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Only the helpers run a box.
    int exec() override;

    QLabel* titleLabel = nullptr;
    QPushButton* closeBtn = nullptr;
    QLabel* plainLabel = nullptr;
    QTextBrowser* richBody = nullptr;
    QPushButton* submitBtn = nullptr;
    QPushButton* cancelBtn = nullptr;
    bool html = false;
};
