// The version dialog in a program folder the user may not change (a tree the system's
// package manager installed): it explains how to update instead of starting velwick. A
// folder the user owns keeps the hand-off.
#include "update/MyVersionDialog.h"
#include "widgets/MyMsgBox.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <pwd.h>
#include <unistd.h>

class TestReadOnlyInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { MyMsgBox::setUnattended(true); }
    void updateRoad_data();
    void updateRoad();
};

void TestReadOnlyInstall::updateRoad_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("handedOff");
    QTest::newRow("tree the user owns") << false << true;
    QTest::newRow("tree of the package manager") << true << false;
}

void TestReadOnlyInstall::updateRoad()
{
    QFETCH(bool, readOnly);
    QFETCH(bool, handedOff);
    MyMsgBox::clearShown();

    QTemporaryDir app;
    QTemporaryDir out;
    QVERIFY(app.isValid() && out.isValid());
    const QString marker = out.filePath("started");
    QFile velwick(app.filePath("velwick"));
    QVERIFY(velwick.open(QIODevice::WriteOnly));
    velwick.write(QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8());
    velwick.close();
    QVERIFY(velwick.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                   | QFileDevice::ExeOther));
    qputenv("VANTREL_APPDIR", QFile::encodeName(app.path()));

    MyVersionDialog dialog;
    dialog.show();
    if (readOnly) {
        QVERIFY(QFile::setPermissions(app.path(),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                          | QFileDevice::ExeOther));
        // Root may write anywhere; the test then looks at the folder as an ordinary user
        // would, the way an installed package is seen.
        const passwd* nobody = getpwnam("nobody");
        const bool asRoot = geteuid() == 0;
        if (asRoot)
            QVERIFY2(nobody && seteuid(nobody->pw_uid) == 0, "cannot take an ordinary user's rights");
        dialog.launchUpdater();
        if (asRoot)
            QVERIFY(seteuid(0) == 0);
        QFile::setPermissions(app.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    } else {
        dialog.launchUpdater();
    }

    QCOMPARE(dialog.result(), handedOff ? 1 : 0);
    if (handedOff) {
        QCOMPARE(MyMsgBox::shownBoxes().size(), 0);
        QTRY_VERIFY(QFile::exists(marker));
    } else {
        const QList<MyMsgBox::Shown> shown = MyMsgBox::shownBoxes();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.at(0).text.contains("软件包管理器") && shown.at(0).text.contains("网站"),
                 qPrintable(shown.at(0).text));
        QVERIFY(dialog.isVisible());
        QVERIFY(!QFile::exists(marker));
    }
}

QTEST_MAIN(TestReadOnlyInstall)
#include "TestReadOnlyInstall.moc"
