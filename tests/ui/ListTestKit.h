#pragma once

// Shared by the resource-list and commission page tests: a devsite logged in as an author,
// the replies routed to each page, the addresses handed to the browser.
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"
#include "support/UrlSink.h"
#include "widgets/MyMsgBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>
#include <QWidget>
#include <QtTest>

class ListTestKit
{
public:
    DevsiteFixture site;
    // The http and https addresses handed to the browser since the last reset().
    UrlSink sink;
    // Receives the routed replies.
    QObject listener;
    // Replies the request client routed to each context, in order.
    QList<QPair<QObject*, QJsonObject>> replies;

    bool start(const QString& user = QStringLiteral("demo_teacher"))
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName("zenweb");
        QCoreApplication::setApplicationName("Vantrel");
        QDesktopServices::setUrlHandler("https", &sink, "open");
        QDesktopServices::setUrlHandler("http", &sink, "open");
        if (!site.start())
            return false;
        site.exportEnv();
        MyMsgBox::setUnattended(true);
        MyDAO* dao = MyDAO::instance();
        QObject::connect(dao, &MyDAO::s_exec_callback, &listener, [this](HTTP_CALLBACK, QJsonObject obj, QObject* ctx) {
            // A new widget may take the address of one that is gone: forget the old one's.
            if (repliesFor(ctx) == 0)
                QObject::connect(ctx, &QObject::destroyed, &listener, [this, ctx] {
                    replies.erase(
                        std::remove_if(replies.begin(), replies.end(), [ctx](const auto& r) { return r.first == ctx; }),
                        replies.end());
                });
            replies.append({ ctx, obj });
        });
        int uid = 0;
        dao->setToken(site.loginToken(user, "demo1234", &uid));
        dao->setUid(uid);
        return !dao->token().isEmpty();
    }

    // Before each case: the site forgets its requests and state, the sink its addresses.
    bool reset()
    {
        sink.urls.clear();
        return site.reset();
    }

    int repliesFor(QObject* ctx) const
    {
        int n = 0;
        for (const auto& r : replies)
            n += r.first == ctx ? 1 : 0;
        return n;
    }
    QJsonObject lastReplyFor(QObject* ctx) const
    {
        for (int i = replies.size() - 1; i >= 0; --i) {
            if (replies.at(i).first == ctx)
                return replies.at(i).second;
        }
        return {};
    }
    // Waits until `ctx` has had `n` replies in all.
    bool waitReplies(QObject* ctx, int n)
    {
        for (int i = 0; i < 1000 && repliesFor(ctx) < n; ++i)
            QTest::qWait(10);
        return repliesFor(ctx) >= n;
    }

    // Query items of the last request to `path`, as sent (in order).
    QList<QPair<QString, QString>> lastQuery(const QString& path)
    {
        const QJsonArray all = site.requests(path);
        if (all.isEmpty())
            return {};
        const QString target = all.last().toObject().value("target").toString();
        QUrlQuery q(target.mid(target.indexOf('?') + 1));
        auto items = q.queryItems(QUrl::FullyDecoded);
        if (!items.isEmpty() && items.last().first == "token")
            items.removeLast();
        return items;
    }
    int requestCount(const QString& path) { return site.requests(path).size(); }

    // Texts of the labels of a row widget, left to right, after the icon.
    static QStringList labelTexts(QWidget* row)
    {
        QStringList out;
        QLayout* layout = row->layout();
        for (int i = 0; layout && i < layout->count(); ++i) {
            if (auto* label = qobject_cast<QLabel*>(layout->itemAt(i)->widget()); label && i > 0)
                out << label->text();
        }
        return out;
    }
};

inline QList<QPair<QString, QString>> items(std::initializer_list<QPair<QString, QString>> list)
{
    return QList<QPair<QString, QString>>(list);
}
