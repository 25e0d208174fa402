// Uploads survive a killed process: a child process uploads the pending assets of the
// database through the real engine and is killed with SIGKILL at random moments; each new
// child resumes from the resume points in the database. In the end devsite must hold every
// file complete with the right MD5, and no piece may have been accepted twice except the
// ones a kill interrupts (see below).

#include "UploadTestKit.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"
#include "upload/MyUploadManager.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const int UID = 5150;
const char* const CHILD_FLAG = "--upload-child";

// The child: restore the pending list, queue what is unfinished, upload, exit 0 when done.
int runChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    MyDAO::setReferenceFetchLimitMs(2000);
    MyDAO* dao = MyDAO::instance();
    dao->setUid(UID);
    int left = 0;
    for (const AssetFormData& form : dao->loadPendingAssets()) {
        if (form.is_uploaded)
            continue;
        UploadFile job;
        job.file_md5 = form.file_md5;
        job.file_name = form.file_name;
        job.file_id = form.id;
        job.file_size = form.file_size;
        job.file_size_loaded = form.file_size_loaded;
        job.file_path = form.file_path;
        job.created_time = form.created_time;
        job.file_status = 2;
        dao->enqueueUpload(job);
        ++left;
    }
    if (left == 0)
        return 0;
    QObject::connect(dao, &MyDAO::s_completed_upload, &app, [&left]() {
        if (--left == 0) {
            MyUploadManager::instance()->stopAll();
            QCoreApplication::exit(0);
        }
    });
    QObject::connect(dao, &MyDAO::s_progress_upload, &app, [](int, QString, qulonglong, QString msg, QString) {
        if (!msg.isEmpty())
            QCoreApplication::exit(3); // a failed job: the parent reports it
    });
    MyUploadManager::instance();
    return app.exec();
}

} // namespace

class TestUploadCrash : public QObject
{
    Q_OBJECT

private slots:
    void killedUploadsResumeFromTheDatabase();
};

void TestUploadCrash::killedUploadsResumeFromTheDatabase()
{
    DevsiteFixture site;
    QVERIFY(site.start());
    site.exportEnv();
    MyDAO::setReferenceFetchLimitMs(2000);
    MyDAO* dao = MyDAO::instance();
    dao->setUid(UID);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QList<qint64> sizes { 7 * 1048576 + 1234, 5 * 1048576, 3 * 1048576 - 77 };
    QList<TestFile> files;
    for (int i = 0; i < sizes.size(); ++i) {
        files << makeTestFile(dir.path(), QString("crash%1.mp4").arg(i), sizes[i], 77 + quint32(i));
        AssetFormData form;
        form.subject = files.last().name;
        form.is_filling = true;
        form.file_name = files.last().name;
        form.file_dir = dir.path();
        form.file_md5 = files.last().md5;
        form.file_size = sizes[i];
        QVERIFY(dao->saveAssetForm(form, false));
    }
    // Slow every piece down enough that a child killed after at most 850 ms has sent no more
    // than two pieces of the largest file (eight pieces): the first kills always land in the
    // middle of the uploads, however fast the site answers.
    QVERIFY(site.fault({ { "path", "/upload/" }, { "count", 10000 }, { "delay_ms", 300 } }));

    QRandomGenerator gen(20261207);
    int kills = 0;
    int exitCode = -1;
    for (int run = 0; run < 30 && exitCode != 0; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), { CHILD_FLAG });
        QVERIFY(child.waitForStarted());
        const int lifetime = run < 8 ? 250 + int(gen.bounded(600)) : 60000;
        if (!child.waitForFinished(lifetime)) {
            child.kill(); // SIGKILL: no clean-up of any kind
            QVERIFY(child.waitForFinished());
            ++kills;
            continue;
        }
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        exitCode = child.exitCode();
        QVERIFY2(exitCode == 0, qPrintable(QString("child ended with %1").arg(exitCode)));
    }
    QCOMPARE(exitCode, 0);
    QVERIFY(kills >= 3);

    const QJsonArray log = site.requests("/upload/");
    const QJsonArray uploads = site.uploads();
    for (const TestFile& f : files) {
        QVERIFY2(storedWhole(uploads, f.md5, f.size), qPrintable(f.name));

        // Every accepted range once, except what a kill can lose: the piece in flight, and the
        // piece just accepted whose resume point was still on its way to the database (the
        // workers report to the thread that owns the connection; a busy machine delays it).
        QSet<QString> accepted;
        int repeats = 0;
        for (const QJsonObject& p : piecesOf(log, f.md5)) {
            const int status = p.value("status").toInt();
            if (status != 200 && status != 201)
                continue;
            const QString range = loggedHeader(p, "X-Content-Range");
            if (accepted.contains(range))
                ++repeats;
            accepted.insert(range);
        }
        QCOMPARE(accepted.size(), int((f.size + 1048575) / 1048576));
        QVERIFY2(repeats <= 2 * kills,
                 qPrintable(QString("%1: %2 repeats, %3 kills").arg(f.name).arg(repeats).arg(kills)));
    }
    qInfo("%d kills", kills);
}

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], CHILD_FLAG) == 0)
        return runChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestUploadCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestUploadCrash.moc"
