#include "app/LoginWindow.h"

#include "net/Endpoints.h"
#include "net/LoginFormData.h"
#include "net/MyDAO.h"
#include "widgets/OpenLink.h"
#include "widgets/PlainText.h"
#include "widgets/SharpPixmap.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QStackedLayout>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString withHomeJump(const QString& path)
{
    const QString home = Endpoints::base(Endpoints::Role::Website) + "/";
    return Endpoints::base(Endpoints::Role::Account) + path
        + "?jump_url=" + QString::fromLatin1(QUrl::toPercentEncoding(home));
}

QString greyLink(const QString& href, const QString& text)
{
    return QString("<a href=\"%1\" style=\"color:#999;text-decoration:none;\">%2</a>").arg(href.toHtmlEscaped(), text);
}

} // namespace

QString LoginWindow::registerUrl()
{
    return withHomeJump("/site/register");
}

QString LoginWindow::passwordFindUrl()
{
    return withHomeJump("/site/password-find");
}

LoginWindow::LoginWindow(QWidget* parent)
    : BaseWindow(parent)
{
    const QList<RecentLogin> recent = MyDAO::instance()->recentLogins();
    if (!recent.isEmpty())
        account = recent.first();

    buildUi();

    if (!account.remember_encrypt_key.isEmpty()) {
        usernameEdit->setText(account.username);
        passwordEdit->setText(kRememberedPlaceholder);
        rememberCheck->setChecked(true);
        usesRememberedKey = true;
    }

    // Any edit of a remembered account's fields means the key no longer applies.
    auto dropRememberedKey = [this] {
        if (!usesRememberedKey)
            return;
        usesRememberedKey = false;
        passwordEdit->clear();
    };
    connect(usernameEdit, &QLineEdit::textChanged, this, dropRememberedKey);
    connect(passwordEdit, &QLineEdit::textChanged, this, dropRememberedKey);
    connect(autoLoginCheck, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            rememberCheck->setChecked(true);
    });
    connect(submitBtn, &QPushButton::clicked, this, [this] { login(false); });
    connect(closeBtn, &QPushButton::clicked, this, [this] {
        reject();
        QApplication::quit();
    });
    connect(cancelBtn, &QPushButton::clicked, this, [this] {
        noticeShown = false;
        tipLabel->hide();
        pages->setCurrentWidget(formPage);
    });

    if (!account.remember_encrypt_key.isEmpty() && MyDAO::instance()->autoLoginUid() == account.uid)
        login(true);
}

void LoginWindow::buildUi()
{
    setFixedSize(462, 367);
    setWindowIcon(QIcon(":/images/favicon.ico"));
    setWindowTitle("Zentrel-登录");

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->setSpacing(0);

    auto* titleBar = new QWidget(this);
    titleBar->setObjectName("login_title_bar");
    titleBar->setFixedHeight(50);
    auto* titleLayout = new QHBoxLayout(titleBar);
    titleLayout->setContentsMargins(15, 0, 10, 0);
    titleLayout->setSpacing(6);
    auto* title = new QLabel(titleBar);
    title->setObjectName("title_login");
    title->setMinimumSize(QPixmap(":/images/logo_login.png").size());
    auto* minBtn = new QPushButton(titleBar);
    minBtn->setObjectName("min_login_btn");
    minBtn->setFlat(true);
    minBtn->setFixedSize(20, 20);
    minBtn->setCursor(Qt::PointingHandCursor);
    closeBtn = new QPushButton(titleBar);
    closeBtn->setObjectName("close_login_btn");
    closeBtn->setFlat(true);
    closeBtn->setFixedSize(20, 20);
    closeBtn->setCursor(Qt::PointingHandCursor);
    titleLayout->addWidget(title);
    titleLayout->addStretch();
    titleLayout->addWidget(minBtn);
    titleLayout->addWidget(closeBtn);
    outer->addWidget(titleBar);
    connect(minBtn, &QPushButton::clicked, this, &QWidget::showMinimized);

    pages = new QStackedLayout;
    outer->addLayout(pages, 1);

    // Form page.
    formPage = new QWidget(this);
    formPage->setObjectName("login_form");
    auto* form = new QVBoxLayout(formPage);
    form->setContentsMargins(75, 16, 75, 10);
    form->setSpacing(0);

    auto* avatar = new QLabel(formPage);
    avatar->setObjectName("login_avatar");
    avatar->setFixedSize(64, 64);
    avatar->setScaledContents(true);
    avatar->setPixmap(sharpPixmap(":/images/avatar_1.png"));
    form->addWidget(avatar, 0, Qt::AlignHCenter);
    form->addSpacing(6);

    usernameEdit = new QLineEdit(formPage);
    usernameEdit->setPlaceholderText("用户名");
    passwordEdit = new QLineEdit(formPage);
    passwordEdit->setPlaceholderText("密码");
    passwordEdit->setEchoMode(QLineEdit::Password);
    for (QLineEdit* edit : { usernameEdit, passwordEdit }) {
        edit->setFixedHeight(43);
        edit->setFrame(false);
        form->addWidget(edit);
    }
    auto* hidden = new QLineEdit(formPage);
    hidden->hide();
    form->addWidget(hidden);

    form->addSpacing(10);
    auto* options = new QHBoxLayout;
    options->setSpacing(14);
    rememberCheck = new QCheckBox("记住密码", formPage);
    autoLoginCheck = new QCheckBox("自动登录 ", formPage);
    auto* registerLink = new QLabel(greyLink(registerUrl(), "注册账号"), formPage);
    connect(registerLink, &QLabel::linkActivated, this, [this](const QString& url) { openLink(QUrl(url), this); });
    options->addWidget(rememberCheck);
    options->addWidget(autoLoginCheck);
    options->addStretch();
    options->addWidget(registerLink);
    form->addLayout(options);

    form->addSpacing(14);
    auto* submitRow = new QHBoxLayout;
    submitRow->setSpacing(10);
    submitBtn = new QPushButton("登录", formPage);
    submitBtn->setObjectName("login_submit_btn");
    submitBtn->setFixedHeight(40);
    submitBtn->setCursor(Qt::PointingHandCursor);
    submitBtn->setDefault(true);
    auto* forgetLink = new QLabel(greyLink(passwordFindUrl(), "忘记密码"), formPage);
    connect(forgetLink, &QLabel::linkActivated, this, [this](const QString& url) { openLink(QUrl(url), this); });
    submitRow->addWidget(submitBtn, 1);
    submitRow->addWidget(forgetLink);
    form->addLayout(submitRow);
    form->addStretch();
    pages->addWidget(formPage);

    // Notice page.
    noticePage = new QWidget(this);
    noticePage->setObjectName("login_notice");
    auto* notice = new QVBoxLayout(noticePage);
    notice->setContentsMargins(0, 20, 0, 24);
    notice->setSpacing(10);
    auto* icon = new QLabel(noticePage);
    icon->setPixmap(sharpPixmap(":/images/warnning.png"));
    notice->addWidget(icon, 0, Qt::AlignHCenter);
    noticeBrowser = new QTextBrowser(noticePage);
    noticeBrowser->setReadOnly(true);
    noticeBrowser->setFixedWidth(350);
    noticeBrowser->setFrameShape(QFrame::NoFrame);
    noticeBrowser->setStyleSheet("border: none;");
    noticeBrowser->setOpenLinks(false);
    connect(noticeBrowser, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) { openLink(url, this); });
    notice->addWidget(noticeBrowser, 1, Qt::AlignHCenter);
    cancelBtn = new QPushButton("取消", noticePage);
    cancelBtn->setObjectName("login_cancel_btn");
    cancelBtn->setFixedSize(250, 40);
    cancelBtn->setCursor(Qt::PointingHandCursor);
    notice->addWidget(cancelBtn, 0, Qt::AlignHCenter);
    pages->addWidget(noticePage);
    pages->setCurrentWidget(formPage);

    // The tip floats over the form, outside any layout.
    // The site's own reasons are shown here too.
    tipLabel = plainLabel("账号或者密码错误", this);
    tipLabel->setObjectName("login_error_tip");
    tipLabel->setMinimumWidth(170);
    tipLabel->setAlignment(Qt::AlignCenter);
    tipLabel->hide();
    placeTip();
}

int LoginWindow::exec()
{
    if (acceptedBeforeExec) {
        acceptedBeforeExec = false;
        return QDialog::Accepted;
    }
    return BaseWindow::exec();
}

void LoginWindow::resizeEvent(QResizeEvent* event)
{
    BaseWindow::resizeEvent(event);
    placeTip();
}

void LoginWindow::placeTip()
{
    tipLabel->adjustSize();
    const int w = qMax(170, tipLabel->sizeHint().width() + 30);
    tipLabel->resize(w, 32);
    tipLabel->move((width() - w) / 2, 25);
    tipLabel->raise();
}

void LoginWindow::showTip(const QString& text)
{
    tipLabel->setText(text);
    placeTip();
    tipLabel->show();
}

void LoginWindow::login()
{
    login(false);
}

void LoginWindow::login(bool isAutoLogin)
{
    if (busy)
        return;
    const QString name = usernameEdit->text().trimmed();
    const QString password = passwordEdit->text().trimmed();
    if (name.isEmpty() || password.isEmpty()) {
        showTip("账号和密码不能为空");
        return;
    }
    submitBtn->setText(isAutoLogin ? "自动登录..." : "正在登录...");
    busy = true;
    tipLabel->hide();

    LoginFormData data;
    data.username = name;
    data.password = password;
    data.remember_me = rememberCheck->isChecked();
    data.auto_login = autoLoginCheck->isChecked();
    if (usesRememberedKey) {
        data.encryptkey = account.remember_encrypt_key;
        data.password.clear();
    }
    // The dialog may be gone when the reply comes (closed while waiting); the session is
    // still updated by MyDAO, only the dialog's part is skipped.
    QPointer<LoginWindow> self(this);
    MyDAO::instance()->login(data, [self](QJsonObject& reply) {
        if (self)
            self->handleReply(reply);
    });
}

void LoginWindow::showNotice(const QString& text, const QString& linkText)
{
    const QString home = Endpoints::base(Endpoints::Role::Account) + "/";
    noticeBrowser->setHtml(
        QString("<div align=\"center\" style=\"line-height:28px;font-size:14px;color:#333;font-family:'微软雅黑';\">"
                "%1<br/><a href=\"%2\" target=\"_blank\" style=\"color:#01945d;text-decoration:none;\">%3</a></div>")
            .arg(text, home.toHtmlEscaped(), linkText));
    pages->setCurrentWidget(noticePage);
    noticeShown = true;
    tipLabel->hide();
}

void LoginWindow::handleReply(QJsonObject& reply)
{
    busy = false;
    tipLabel->show();
    submitBtn->setText("登录");

    const std::optional<int> code = replyErrcode(reply);
    if (!code) {
        showTip("登录失败");
        return;
    }
    switch (*code) {
    case 0:
        tipLabel->hide();
        acceptedBeforeExec = !isVisible();
        accept();
        return;
    case -3:
    case -2:
        showTip(reply.value("message").toString());
        return;
    case -1:
        showTip(reply.value("reason").toString());
        return;
    case 10086:
        MyDAO::instance()->forgetRememberedKey(account.remember_encrypt_key);
        showTip("登录失败，记住密码失效");
        passwordEdit->clear();
        // An empty edit cannot stand for the key any more, even if it was empty already.
        usesRememberedKey = false;
        return;
    case 10002:
    case 10020:
        showTip("账户名或密码错误");
        return;
    case 10006:
        showNotice("您的账号未实名，请先进行实名认证！", "[点击认证]");
        return;
    case 10007:
        showTip("该账号被限制登录");
        return;
    case 40001:
        showNotice("您的账号存在异常，请进行安全验证，解除限制！", "[点击这里]");
        return;
    default:
        showTip(QString("登录失败,errcode:%1").arg(*code));
        return;
    }
}
