#pragma once

#include "widgets/BaseWindow.h"

#include <QString>

class QLabel;
class QPushButton;

// Shows the running version and the one the website publishes, and hands over to the
// updater when they differ. Used once at start (shown only when there is something to
// offer) and from the top bar's menu.
class MyVersionDialog : public BaseWindow
{
    Q_OBJECT

public:
    explicit MyVersionDialog(QWidget* parent = nullptr);

    // Reads the version file (once it has been read successfully, never again); returns
    // when the reply has been handled, the interface staying live meanwhile.
    void queryVersions();
    // The up-to-date or the new-version state for `latest`.
    void showVersionState(const QString& latest);
    // 0 without showing anything when nothing is known or nothing is new; else the result
    // of the modal dialog (1: the updater was started).
    int checkOnStart();
    // Starts the updater beside the program and closes the program's windows.
    void launchUpdater();

    QString versionUrl() const { return versionAddress; }
    QString latest() const { return latestVersion; }
    QLabel* versionLabel() const { return versionText; }
    QPushButton* checkButton() const { return checkBtn; }
    QPushButton* closeButton() const { return closeBtn; }

    // <application directory>/velwick(.exe).
    static QString updaterPath();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void onCheckClicked();

    QString currentVersion;
    QString versionAddress;
    QString latestVersion;
    QLabel* versionText = nullptr;
    QPushButton* checkBtn = nullptr;
    QPushButton* closeBtn = nullptr;
};
