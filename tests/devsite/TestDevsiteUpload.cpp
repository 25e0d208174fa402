// Upload service of the stand-in site: the header checks, piece bookkeeping and the
// completion check, as the upload workers meet them.

#include "SyncHttp.h"
#include "UploadJob.h"
#include "support/DevsiteFixture.h"

#include <QtTest>

using namespace devsitetest;

class TestDevsiteUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void threePieces();
    void badHeaders_data();
    void badHeaders();
    void gapRefused();
    void resentRangeIsIdempotent();
    void md5MismatchNeverCompletes();
    void restartKeepsPartialUploads();

private:
    SyncReply send(const UploadJob& job, qint64 first, qint64 last,
                   const QList<QPair<QByteArray, QByteArray>>& headers);
    SyncReply send(const UploadJob& job, qint64 first, qint64 last)
    {
        return send(job, first, last, job.headers(first, last));
    }
    QJsonObject uploadOf(const UploadJob& job);

    DevsiteFixture site;
};

void TestDevsiteUpload::initTestCase()
{
    QVERIFY(site.start());
}

SyncReply TestDevsiteUpload::send(const UploadJob& job, qint64 first, qint64 last,
                                  const QList<QPair<QByteArray, QByteArray>>& headers)
{
    SyncHttp http;
    return http.post(site.uploadBase() + "/upload/", job.content.mid(int(first), int(last - first + 1)), headers);
}

QJsonObject TestDevsiteUpload::uploadOf(const UploadJob& job)
{
    for (const QJsonValue& v : site.uploads()) {
        if (v.toObject().value("save_as").toString() == job.saveAs())
            return v.toObject();
    }
    return {};
}

void TestDevsiteUpload::threePieces()
{
    const UploadJob job(patterned(2500000, 1));
    QVERIFY(site.reset());
    QCOMPARE(send(job, 0, 1048575).status, 201);
    QCOMPARE(uploadOf(job).value("bytes").toInt(), 1048576);
    QCOMPARE(uploadOf(job).value("complete").toBool(), false);
    QCOMPARE(send(job, 1048576, 2097151).status, 201);
    QCOMPARE(send(job, 2097152, 2499999).status, 200);

    const QJsonObject up = uploadOf(job);
    QCOMPARE(up.value("bytes").toInt(), 2500000);
    QCOMPARE(up.value("complete").toBool(), true);
    QCOMPARE(up.value("md5").toString(), job.md5);
    QCOMPARE(up.value("file_md5").toString(), job.md5);

    // The log shows the pieces by length and digest, not their bytes.
    const QJsonArray log = site.requests("/upload/");
    QCOMPARE(log.size(), 3);
    const QJsonObject last = log.at(2).toObject();
    QCOMPARE(last.value("headers").toObject().value("X-Content-Range").toString(),
             QString("bytes 2097152-2499999/2500000"));
    QCOMPARE(last.value("body").toObject().value("length").toInt(), 402848);
    QCOMPARE(last.value("body").toObject().value("md5").toString(),
             QString::fromLatin1(md5Hex(job.content.mid(2097152))));
    QCOMPARE(last.value("status").toInt(), 200);
}

void TestDevsiteUpload::badHeaders_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("value"); // empty: header left out
    QTest::addColumn<int>("status");

    const UploadJob job(patterned(3000, 2));
    const QString other = QString::fromLatin1(md5Hex("other"));
    QTest::newRow("signature of another size") << QByteArray("X-Signature") << job.signature(2999).toLatin1() << 403;
    QTest::newRow("signature upper case")
        << QByteArray("X-Signature") << job.signature(3000).toUpper().toLatin1() << 403;
    QTest::newRow("signature missing") << QByteArray("X-Signature") << QByteArray() << 403;
    QTest::newRow("session id in uid-md5 order")
        << QByteArray("Session-ID") << QString("10001-%1-14112023").arg(job.md5).toLatin1() << 400;
    QTest::newRow("session id of another uid")
        << QByteArray("Session-ID") << QString("%1-10002-14112023").arg(job.md5).toLatin1() << 400;
    QTest::newRow("session id of another day")
        << QByteArray("Session-ID") << QString("%1-10001-15112023").arg(job.md5).toLatin1() << 400;
    QTest::newRow("save-as of another md5")
        << QByteArray("Save-As") << QString("2023/11/14/vudedudiv20231114%1_10001_7_5_tool.docx").arg(other).toLatin1()
        << 400;
    QTest::newRow("save-as without date folders")
        << QByteArray("Save-As") << QString("vudedudiv20231114%1_10001_7_5_tool.docx").arg(job.md5).toLatin1() << 400;
    QTest::newRow("save-as with file id and uid swapped")
        << QByteArray("Save-As")
        << QString("2023/11/14/vudedudiv20231114%1_7_10001_5_tool.docx").arg(job.md5).toLatin1() << 400;
    QTest::newRow("uid header differs") << QByteArray("uid") << QByteArray("10002") << 400;
    QTest::newRow("uid header missing") << QByteArray("uid") << QByteArray() << 400;
    QTest::newRow("range without unit") << QByteArray("X-Content-Range") << QByteArray("0-2999/3000") << 400;
    QTest::newRow("range longer than body") << QByteArray("X-Content-Range") << QByteArray("bytes 0-3000/3001") << 400;
    QTest::newRow("range negative") << QByteArray("X-Content-Range") << QByteArray("bytes -1-2998/3000") << 400;
    QTest::newRow("range reversed") << QByteArray("X-Content-Range") << QByteArray("bytes 2999-0/3000") << 400;
    QTest::newRow("range beyond total") << QByteArray("X-Content-Range") << QByteArray("bytes 1-3000/3000") << 400;
    QTest::newRow("range huge") << QByteArray("X-Content-Range")
                                << QByteArray("bytes 99999999999999999999-99999999999999999999/99999999999999999999")
                                << 400;
    QTest::newRow("user agent") << QByteArray("User-Agent") << QByteArray("Mozilla/5.0") << 400;
    QTest::newRow("content type") << QByteArray("Content-Type") << QByteArray("application/json") << 400;
    QTest::newRow("disposition without name") << QByteArray("Content-Disposition") << QByteArray("attachment") << 400;
    QTest::newRow("tool version") << QByteArray("X-Tool-Version") << QByteArray("2.28.0.200101") << 400;
}

void TestDevsiteUpload::badHeaders()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, value);
    QFETCH(int, status);

    const UploadJob job(patterned(3000, 2));
    QList<QPair<QByteArray, QByteArray>> headers;
    for (const auto& h : job.headers(0, 2999)) {
        if (h.first != header)
            headers.append(h);
    }
    if (!value.isEmpty())
        headers.append({ header, value });

    const SyncReply r = send(job, 0, 2999, headers);
    QCOMPARE(r.status, status);
    QVERIFY(!r.json().value("error").toString().isEmpty());
    QVERIFY(uploadOf(job).isEmpty()); // nothing stored for a refused piece

    // The same piece with correct headers is taken afterwards: the refusal left no trace.
    if (QTest::currentDataTag() == QByteArray("tool version")) {
        QCOMPARE(send(job, 0, 2999).status, 200);
        QCOMPARE(uploadOf(job).value("complete").toBool(), true);
    }
}

void TestDevsiteUpload::gapRefused()
{
    UploadJob job(patterned(2500000, 3));
    job.fileId = 8;
    QCOMPARE(send(job, 1048576, 2097151).status, 409); // nothing stored yet
    QCOMPARE(send(job, 0, 1048575).status, 201);
    QCOMPARE(send(job, 2097152, 2499999).status, 409);
    QCOMPARE(uploadOf(job).value("bytes").toInt(), 1048576);
    QCOMPARE(send(job, 1048576, 2097151).status, 201);
    QCOMPARE(send(job, 2097152, 2499999).status, 200);
}

void TestDevsiteUpload::resentRangeIsIdempotent()
{
    UploadJob job(patterned(1500000, 4));
    job.fileId = 9;
    QCOMPARE(send(job, 0, 1048575).status, 201);
    QCOMPARE(send(job, 0, 1048575).status, 201); // the answer to the first was lost
    QCOMPARE(send(job, 1000, 1999).status, 201); // part of what is stored
    QCOMPARE(uploadOf(job).value("bytes").toInt(), 1048576);

    // A re-sent range that carries other bytes would corrupt the file.
    UploadJob forged = job;
    forged.content[10] = char(forged.content[10] ^ 0x55);
    QCOMPARE(send(forged, 0, 1048575).status, 409);

    // Overlapping the end of what is stored finishes the file.
    QCOMPARE(send(job, 1000000, 1499999).status, 200);
    QCOMPARE(uploadOf(job).value("md5").toString(), job.md5);
    // And a complete file keeps answering 200 to a repeated last piece.
    QCOMPARE(send(job, 1048576, 1499999).status, 200);
}

void TestDevsiteUpload::md5MismatchNeverCompletes()
{
    // Session-ID and Save-As announce one file, the bytes are another.
    UploadJob job(patterned(2000000, 5));
    job.fileId = 10;
    const QByteArray announced = job.content;
    job.content = patterned(2000000, 6);
    QCOMPARE(send(job, 0, 1048575).status, 201);
    const SyncReply last = send(job, 1048576, 1999999);
    QCOMPARE(last.status, 422);
    QVERIFY(last.json().value("error").toString().contains("MD5"));
    QJsonObject up = uploadOf(job);
    QCOMPARE(up.value("complete").toBool(), false);
    QCOMPARE(up.value("md5").toString(), QString::fromLatin1(md5Hex(job.content)));
    // Retries of any later piece keep failing the same way, never 200.
    QCOMPARE(send(job, 1048576, 1999999).status, 422);
    QCOMPARE(send(job, 1000, 1999).status, 422);

    // Sending the announced file from its start is a new attempt, and completes.
    job.content = announced;
    QCOMPARE(send(job, 0, 1048575).status, 201);
    QCOMPARE(uploadOf(job).value("bytes").toInt(), 1048576);
    QCOMPARE(send(job, 1048576, 1999999).status, 200);
    QCOMPARE(uploadOf(job).value("md5").toString(), job.md5);
}

void TestDevsiteUpload::restartKeepsPartialUploads()
{
    UploadJob job(patterned(2500000, 7));
    job.fileId = 11;
    QCOMPARE(send(job, 0, 1048575).status, 201);
    QVERIFY(site.restart());
    const QJsonObject up = uploadOf(job);
    QCOMPARE(up.value("bytes").toInt(), 1048576);
    QCOMPARE(up.value("md5").toString(), QString::fromLatin1(md5Hex(job.content.left(1048576))));
    QCOMPARE(send(job, 1048576, 2097151).status, 201);
    QCOMPARE(send(job, 2097152, 2499999).status, 200);
    QCOMPARE(uploadOf(job).value("md5").toString(), job.md5);
}

QTEST_GUILESS_MAIN(TestDevsiteUpload)
#include "TestDevsiteUpload.moc"
