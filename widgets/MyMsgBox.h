#pragma once

#include "widgets/BaseWindow.h"

#include <QList>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;
class QTextBrowser;

// The program's message box: an alert with "确定" only, or a question with "确定" and
// "取消". "确定" accepts (1); "取消" and the close button reject (0).
class MyMsgBox : public BaseWindow
{
    Q_OBJECT

public:
    explicit MyMsgBox(QWidget* parent = nullptr);

    static int alert(const QString& text, QWidget* parent = nullptr);
    static int confirm(const QString& text, QWidget* parent = nullptr, bool html = false);

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

    int exec() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* titleLabel = nullptr;
    QPushButton* closeBtn = nullptr;
    QLabel* plainLabel = nullptr;
    QTextBrowser* richBody = nullptr;
    QPushButton* submitBtn = nullptr;
    QPushButton* cancelBtn = nullptr;
    bool html = false;
};
