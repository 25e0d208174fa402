#pragma once

// What the form, picker and upload-page tests share: one devsite for the test run with a
// logged-in session, unattended message boxes, and small files with known contents.

#include "net/LoginFormData.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"
#include "widgets/MyMsgBox.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

// Starts devsite, points the program at it (before MyDAO loads the reference files from it)
// and logs in.
inline bool startSiteAndLogin(DevsiteFixture& site, const QString& user = "demo_teacher")
{
    if (!site.start())
        return false;
    site.exportEnv();
    MyMsgBox::setUnattended(true);
    MyDAO* dao = MyDAO::instance();
    bool done = false;
    int errcode = -99;
    LoginFormData form;
    form.username = user;
    form.password = "demo1234";
    dao->login(form, [&](QJsonObject& reply) {
        errcode = reply.value("errcode").toInt(-99);
        done = true;
    });
    return QTest::qWaitFor([&] { return done; }, 20000) && errcode == 0;
}

// A file of `size` bytes made of a repeated seed text; the same seed gives the same MD5.
inline QString writeFile(const QString& path, qint64 size, const QByteArray& seed)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    QByteArray data;
    while (data.size() < size)
        data += seed;
    data.truncate(int(size));
    f.write(data);
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

// Texts of the message boxes shown since the last clear.
inline QStringList shownTexts()
{
    QStringList list;
    for (const MyMsgBox::Shown& s : MyMsgBox::shownBoxes())
        list << s.text;
    return list;
}

// The set-up of the form and upload-page tests: a scratch folder and devsite with a
// logged-in session.
struct FormTestFixture
{
    DevsiteFixture site;
    QTemporaryDir dir;

    // For initTestCase: a missing folder or a failed login fails the test case there.
    void start()
    {
        QVERIFY(dir.isValid());
        QVERIFY(startSiteAndLogin(site));
    }
};
