#include "widgets/MyMsgBox.h"

#include "app/NestedWait.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

namespace {

struct Seam
{
    QList<MyMsgBox::Answer> answers;
    bool unattended = false;
    QList<MyMsgBox::Shown> shown;
    std::function<void(MyMsgBox*)> hook;
};

Seam& seam()
{
    static Seam s;
    return s;
}

} // namespace

MyMsgBox::MyMsgBox(QWidget* parent)
    : BaseWindow(parent)
{
    setWindowModality(Qt::ApplicationModal);
    // Closing a box while the main window sits hidden in the tray must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(362, 232);
    setMaximumWidth(362);
    setStyleSheet("QLabel {font-size: 14px;color:#666;}QPushButton { border-style: flat }");

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->setSpacing(0);

    auto* titleRow = new QWidget(this);
    titleRow->setFixedHeight(50);
    auto* titleLayout = new QHBoxLayout(titleRow);
    titleLayout->setContentsMargins(15, 0, 10, 0);
    titleLabel = new QLabel("提示", titleRow);
    titleLabel->setStyleSheet("font-size: 14px;");
    closeBtn = new QPushButton(titleRow);
    closeBtn->setObjectName("msgbox_close_btn");
    closeBtn->setFixedSize(25, 25);
    closeBtn->setIcon(QIcon(":/images/close_dia.png"));
    closeBtn->setIconSize(QSize(25, 25));
    closeBtn->setFlat(true);
    closeBtn->setCursor(Qt::PointingHandCursor);
    closeBtn->setFocusPolicy(Qt::NoFocus);
    titleLayout->addWidget(titleLabel);
    titleLayout->addStretch();
    titleLayout->addWidget(closeBtn);
    outer->addWidget(titleRow);

    auto* body = new QWidget(this);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(15, 0, 15, 0);
    plainLabel = new QLabel(body);
    plainLabel->setFixedHeight(120);
    plainLabel->setWordWrap(true);
    // Server texts may contain "<"; the plain box shows them as they are.
    plainLabel->setTextFormat(Qt::PlainText);
    plainLabel->setAlignment(Qt::AlignCenter);
    richBody = new QTextBrowser(body);
    richBody->setObjectName("msgbox_body");
    richBody->setFixedHeight(120);
    richBody->setOpenExternalLinks(true);
    richBody->setStyleSheet("#msgbox_body { border: none; margin-top: 12px; }");
    richBody->setFrameShape(QFrame::NoFrame);
    richBody->hide();
    bodyLayout->addWidget(plainLabel);
    bodyLayout->addWidget(richBody, 0, Qt::AlignHCenter);
    outer->addWidget(body);

    auto* buttons = new QWidget(this);
    buttons->setStyleSheet("#submit_btn { background:#2bbb61;color:#fff; }#cancel_btn { border: 1px solid #dcdcdc; "
                           "color:#666;}QPushButton { border-radius: 3px; border-style: flat; font-size: 14px; "
                           "height:32px;width:60px;}");
    auto* buttonLayout = new QHBoxLayout(buttons);
    buttonLayout->setContentsMargins(0, 0, 15, 15);
    buttonLayout->setSpacing(10);
    submitBtn = new QPushButton("确定", buttons);
    submitBtn->setObjectName("submit_btn");
    submitBtn->setCursor(Qt::PointingHandCursor);
    // Enter answers "确定", as in any message box.
    submitBtn->setDefault(true);
    cancelBtn = new QPushButton("取消", buttons);
    cancelBtn->setObjectName("cancel_btn");
    cancelBtn->setCursor(Qt::PointingHandCursor);
    buttonLayout->addStretch();
    buttonLayout->addWidget(submitBtn);
    buttonLayout->addWidget(cancelBtn);
    outer->addWidget(buttons, 0, Qt::AlignRight);
    outer->addStretch();

    connect(submitBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(closeBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void MyMsgBox::setText(const QString& text, bool asHtml)
{
    html = asHtml;
    if (html) {
        richBody->setHtml(text);
        richBody->setFixedWidth(int((362 - 12) * 0.8));
        richBody->show();
        plainLabel->hide();
    } else {
        plainLabel->setText(text);
        plainLabel->show();
        richBody->hide();
    }
}

QString MyMsgBox::text() const
{
    return html ? richBody->toPlainText() : plainLabel->text();
}

void MyMsgBox::setCancelVisible(bool visible)
{
    cancelBtn->setVisible(visible);
}

bool MyMsgBox::hasCancel() const
{
    return !cancelBtn->isHidden();
}

void MyMsgBox::setTitle(const QString& title)
{
    titleLabel->setText(title);
}

QString MyMsgBox::title() const
{
    return titleLabel->text();
}

int MyMsgBox::alert(const QString& text, QWidget* owner)
{
    return ask(text, owner, Look { QString(), false, false });
}

int MyMsgBox::confirm(const QString& text, QWidget* owner, bool html)
{
    return ask(text, owner, Look { QString(), html, true });
}

int MyMsgBox::ask(const QString& text, QWidget* owner, const Look& look)
{
    if (owner && NestedWait::isGone(owner))
        return Abandoned;
    auto* box = new MyMsgBox(owner ? owner->window() : nullptr);
    box->setText(text, look.html);
    if (!look.title.isEmpty())
        box->setTitle(look.title);
    box->setCancelVisible(look.cancel);
    return runDialog(box, owner);
}

int MyMsgBox::runDialog(QDialog* dialog, const QObject* owner, bool dispose)
{
    QPointer<QDialog> held(dialog);
    QPointer<const QObject> guard(owner);
    int result = Abandoned;
    if (!owner || !NestedWait::isGone(owner)) {
        // An owner deleted outright (not through deleteWhenIdle) closes the box as well.
        QMetaObject::Connection gone;
        if (owner)
            gone = connect(owner, &QObject::destroyed, dialog, [held] {
                if (held)
                    held->done(Abandoned);
            });
        NestedWait::Scope scope(owner, [held] {
            if (held)
                held->done(Abandoned);
        });
        result = dialog->exec();
        QObject::disconnect(gone);
    }
    if (!held || (owner && NestedWait::isGone(guard.data())))
        result = Abandoned;
    if (dispose)
        delete held.data();
    return result;
}

int MyMsgBox::exec()
{
    Seam& s = seam();
    const int index = s.shown.size();
    s.shown.append({ text(), title(), html, hasCancel(), -1 });

    QPointer<MyMsgBox> self(this);
    QPushButton* toPress = nullptr;
    if (!s.answers.isEmpty()) {
        const Answer answer = s.answers.takeFirst();
        if (answer == PressSubmit)
            toPress = submitBtn;
        else if (answer == PressCancel && hasCancel())
            toPress = cancelBtn;
        else
            toPress = closeBtn;
    } else if (s.unattended) {
        toPress = closeBtn;
    }
    if (toPress) {
        // Pressed from inside the box's own event loop, as a person would.
        QTimer::singleShot(0, this, [self, toPress] {
            if (self && self->isVisible())
                toPress->click();
        });
    }
    if (s.hook)
        s.hook(this);

    const int result = BaseWindow::exec();
    if (index < s.shown.size())
        s.shown[index].result = result;
    return result;
}

void MyMsgBox::paintEvent(QPaintEvent* event)
{
    BaseWindow::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor("#dcdcdc"));
    painter.drawLine(6, 56, 356, 56);
}

void MyMsgBox::answerNext(Answer answer)
{
    seam().answers.append(answer);
}

int MyMsgBox::pendingAnswers()
{
    return seam().answers.size();
}

void MyMsgBox::setUnattended(bool on)
{
    seam().unattended = on;
}

QList<MyMsgBox::Shown> MyMsgBox::shownBoxes()
{
    return seam().shown;
}

void MyMsgBox::clearShown()
{
    seam().shown.clear();
}

void MyMsgBox::setShowHook(std::function<void(MyMsgBox*)> hook)
{
    seam().hook = std::move(hook);
}
