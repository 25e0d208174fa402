#include "net/MyDAO.h"
#include "widgets/Loading.h"
#include "widgets/UserAvatar.h"

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

// Answers every GET with the bytes it is given, once `release` allows it.
class TinyHttp : public QObject
{
public:
    QTcpServer server;
    QByteArray body;
    QByteArray contentType = "text/html";
    bool release = true;
    int answered = 0;
    int requests = 0;

    TinyHttp()
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                socket->readAll();
                ++requests;
                pending = socket;
                if (release)
                    answer();
            });
        });
    }
    QString url() const { return QString("http://127.0.0.1:%1/avatar?uid=1").arg(server.serverPort()); }
    void answer()
    {
        if (!pending)
            return;
        pending->write("HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\nContent-Length: "
                       + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        pending->disconnectFromHost();
        pending = nullptr;
        ++answered;
    }

private:
    QTcpSocket* pending = nullptr;
};

QByteArray pngBytes(QColor color)
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class TestLoadingAvatar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { MyDAO::instance(); }

    void loadingFramesCycle()
    {
        for (int frame = 1; frame <= 8; ++frame)
            QVERIFY2(!QImage(Loading::framePath(frame)).isNull(), qPrintable(Loading::framePath(frame)));

        Loading* loading = Loading::instance();
        QCOMPARE(Loading::instance(), loading);
        QCOMPARE(loading->size(), QImage(Loading::framePath(1)).size());
        loading->display(true);
        QVERIFY(loading->isVisible());
        // Frames advance one by one and wrap from 8 back to 1.
        QList<int> seen { loading->frame() };
        while (seen.size() < 10) {
            const int before = seen.last();
            QTRY_VERIFY(loading->frame() != before);
            seen.append(loading->frame());
        }
        for (int i = 1; i < seen.size(); ++i)
            QCOMPARE(seen[i], seen[i - 1] == 8 ? 1 : seen[i - 1] + 1);

        loading->display(false);
        QVERIFY(!loading->isVisible());
        QCOMPARE(loading->frame(), 1);
    }

    void avatarLoads_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("picture");
        QTest::newRow("PNG") << pngBytes(Qt::red) << true;
        QTest::newRow("HTML error page") << QByteArray("<html><body>404 not found</body></html>") << false;
        QTest::newRow("empty body") << QByteArray() << false;
    }

    void avatarLoads()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, picture);
        TinyHttp site;
        site.body = body;
        UserAvatar avatar;
        avatar.resize(35, 35);
        QSignalSpy loaded(&avatar, &UserAvatar::s_loaded);
        avatar.setUrl(site.url());
        QTRY_COMPARE(loaded.count(), 1);
        QCOMPARE(loaded.first().first().toBool(), picture);
        QCOMPARE(avatar.image().isNull(), !picture);

        // Painted scaled into the whole label, or not at all.
        QImage canvas(35, 35, QImage::Format_ARGB32);
        canvas.fill(Qt::transparent);
        avatar.render(&canvas, QPoint(), QRegion(), QWidget::DrawChildren);
        QCOMPARE(canvas.pixelColor(1, 1) == QColor(Qt::red), picture);
        QCOMPARE(canvas.pixelColor(33, 33) == QColor(Qt::red), picture);
    }

    void noPictureKeepsThePreviousOne()
    {
        UserAvatar avatar;
        QVERIFY(avatar.setImageData(pngBytes(Qt::blue)));
        QVERIFY(!avatar.setImageData("GIF89a but not really"));
        QCOMPARE(avatar.image().pixelColor(0, 0), QColor(Qt::blue));
    }

    void avatarGoneBeforeTheReply()
    {
        TinyHttp site;
        site.body = pngBytes(Qt::green);
        site.release = false;
        auto* avatar = new UserAvatar;
        avatar->setUrl(site.url());
        QTRY_COMPARE(site.requests, 1);
        delete avatar;
        site.release = true;
        site.answer();
        QTRY_COMPARE(site.answered, 1);
        // The reply arrives after the widget is gone; nothing may touch it.
        QTest::qWait(100);
    }
};

QTEST_MAIN(TestLoadingAvatar)
#include "TestLoadingAvatar.moc"
