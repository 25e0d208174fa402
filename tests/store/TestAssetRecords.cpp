// The records that travel between the form, the database, the workers and the list.

#include "store/AssetRecords.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QTest>
#include <QThread>

namespace {

// Carries the records the way the engine does: queued from a worker to the GUI thread.
class Courier : public QObject
{
    Q_OBJECT

signals:
    void job(UploadFile job);
    void forms(QList<AssetFormData> list);
};

} // namespace

class TestAssetRecords : public QObject
{
    Q_OBJECT

private slots:
    void jobsAreEqualByFile()
    {
        UploadFile a;
        a.file_md5 = "abc";
        a.file_id = 1;
        a.file_status = 3;
        UploadFile b = a;
        b.file_id = 2;
        b.file_path = "/elsewhere";
        b.file_status = 1;
        UploadFile c = a;
        c.file_md5 = "abd";
        QVERIFY(a == b);
        QVERIFY(!(a != b));
        QVERIFY(a != c);
        // The job list removes by this equality.
        QList<UploadFile> list { a, c, b };
        QCOMPARE(list.removeAll(b), 2);
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].file_md5, QString("abd"));
    }

    void filePath_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::newRow("folder without slash") << "/home/a/资料"
                                              << "卷.docx"
                                              << "/home/a/资料/卷.docx";
        QTest::newRow("folder with slash") << "/home/a/资料/"
                                           << "卷.docx"
                                           << "/home/a/资料/卷.docx";
        QTest::newRow("root folder") << "/"
                                     << "a.pdf"
                                     << "/a.pdf";
        QTest::newRow("empty folder") << ""
                                      << "a.pdf"
                                      << "/a.pdf";
        QTest::newRow("drive root") << "C:/"
                                    << "a.pdf"
                                    << "C:/a.pdf";
    }

    void filePath()
    {
        QFETCH(QString, dir);
        QFETCH(QString, name);
        QFETCH(QString, path);
        QCOMPARE(buildFilePath(dir, name), path);
    }

    void recordsCrossThreadsIntact()
    {
        QVERIFY(QMetaType::type("UploadFile") != QMetaType::UnknownType);
        QVERIFY(QMetaType::type("AssetFormData") != QMetaType::UnknownType);
        QVERIFY(QMetaType::type("QList<AssetFormData>") != QMetaType::UnknownType);

        Courier courier;
        UploadFile received;
        QList<AssetFormData> receivedForms;
        QThread* receivedOn = nullptr;
        connect(
            &courier, &Courier::job, this,
            [&](UploadFile job) {
                received = job;
                receivedOn = QThread::currentThread();
            },
            Qt::QueuedConnection);
        connect(
            &courier, &Courier::forms, this, [&](QList<AssetFormData> list) { receivedForms = list; },
            Qt::QueuedConnection);

        UploadFile job;
        job.file_md5 = "0123456789abcdef0123456789abcdef";
        job.file_id = 42;
        job.file_size = 3LL * 1024 * 1024 * 1024 + 7;
        job.file_size_loaded = (1LL << 31) + 1048576;
        job.file_status = 3;
        AssetFormData form;
        form.id = 42;
        form.file_size = job.file_size;
        form.types = { { "试卷", 31, 3 } };
        QThread* sender = QThread::create([&] {
            emit courier.job(job);
            emit courier.forms({ form });
        });
        sender->start();
        QVERIFY(sender->wait(30000));
        delete sender;
        QTRY_COMPARE(receivedForms.size(), 1);
        QCOMPARE(receivedOn, QThread::currentThread());
        QCOMPARE(received.file_md5, job.file_md5);
        QCOMPARE(received.file_size, job.file_size);
        QCOMPARE(received.file_size_loaded, job.file_size_loaded);
        QCOMPARE(received.chunk_size, qint64(1048576));
        QCOMPARE(receivedForms[0].file_size, form.file_size);
        QCOMPARE(receivedForms[0].types[0].typeid_, 31);
    }
};

QTEST_MAIN(TestAssetRecords)
#include "TestAssetRecords.moc"
