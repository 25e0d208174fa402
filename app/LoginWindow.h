#pragma once

#include "store/AssetRecords.h"
#include "widgets/BaseWindow.h"

#include <QJsonObject>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedLayout;
class QTextBrowser;
class QWidget;

// The login dialog: a form page (name, password, "记住密码", "自动登录 ") and a notice page
// for accounts the website wants verified first. exec() returns 1 once logged in.
class LoginWindow : public BaseWindow
{
    Q_OBJECT

public:
    explicit LoginWindow(QWidget* parent = nullptr);

    int exec() override;

    // Stands in the password edit while a remembered key is used; never sent.
    static constexpr const char* kRememberedPlaceholder = "0123456789";

    // For tests and the start-up sequence.
    QLabel* errorTip() const { return tipLabel; }
    QPushButton* submitButton() const { return submitBtn; }
    QLineEdit* userEdit() const { return usernameEdit; }
    QLineEdit* passwordEditor() const { return passwordEdit; }
    QCheckBox* rememberBox() const { return rememberCheck; }
    QCheckBox* autoLoginBox() const { return autoLoginCheck; }
    QTextBrowser* noticeText() const { return noticeBrowser; }
    QPushButton* cancelButton() const { return cancelBtn; }
    QPushButton* closeButton() const { return closeBtn; }
    const RecentLogin& shownAccount() const { return account; }
    bool isBusy() const { return busy; }
    bool isNoticeShown() const { return noticeShown; }
    bool isUsingRememberedKey() const { return usesRememberedKey; }
    // Address behind "注册账号" / "忘记密码".
    static QString registerUrl();
    static QString passwordFindUrl();

public slots:
    void login(bool isAutoLogin);
    void login();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildUi();
    void handleReply(QJsonObject& reply);
    void showTip(const QString& text);
    void showNotice(const QString& text, const QString& linkText);
    void placeTip();

    QLabel* tipLabel = nullptr;
    QPushButton* submitBtn = nullptr;
    QLineEdit* usernameEdit = nullptr;
    QLineEdit* passwordEdit = nullptr;
    QCheckBox* rememberCheck = nullptr;
    QCheckBox* autoLoginCheck = nullptr;
    QWidget* noticePage = nullptr;
    QTextBrowser* noticeBrowser = nullptr;
    RecentLogin account;
    bool busy = false;
    bool noticeShown = false;
    bool usesRememberedKey = false;
    QStackedLayout* pages = nullptr;

    QWidget* formPage = nullptr;
    QPushButton* cancelBtn = nullptr;
    QPushButton* closeBtn = nullptr;
    // An automatic login may finish before exec() runs; exec() then returns at once.
    bool acceptedBeforeExec = false;
};
