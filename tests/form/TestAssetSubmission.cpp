// The submission of an uploaded asset: the body the site gets, the save-as name it shares
// with the upload's Save-As header, and what the client does with each kind of answer.
// Answers come from the real devsite; where a test needs a particular answer, devsite's
// fault API serves it.

#include "form/AssetSubmission.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"
#include "upload/MyUploadThread.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

namespace {

const int UID = 1234;
const char* const SUBMIT_PATH = "/toolupload/asset/asset-submit";

AssetFormData sampleForm()
{
    AssetFormData f;
    f.subject = "三角形的内角和";
    f.types = { { "课件", 11, 1 }, { "教案", 12, 2 } };
    f.flag = 6;
    f.xueduanid = 2;
    f.chid = 21;
    f.catid = 3001;
    f.catpath = "0,3000,3001";
    f.copyrighttype = 3;
    f.fitprovince = 110000;
    f.fitcity = 110100;
    f.fitdist = 110101;
    f.stars = 4;
    f.versionid = 9;
    f.created_time = QDateTime(QDate(2021, 1, 15), QTime(9, 30)).toSecsSinceEpoch();
    f.file_dir = "/data/docs";
    f.file_name = "a.docx";
    f.file_path = "/data/docs/a.docx";
    f.file_md5 = "0123456789abcdef0123456789abcdef";
    f.file_size = 4096;
    f.file_text = "  正文 \"引号\"\r\n第二行  ";
    return f;
}

// The job a started row builds from its form.
UploadFile jobOf(const AssetFormData& form)
{
    UploadFile job;
    job.file_md5 = form.file_md5;
    job.file_name = form.file_name;
    job.file_id = form.id;
    job.file_size = form.file_size;
    job.file_size_loaded = form.file_size_loaded;
    job.file_path = buildFilePath(form.file_dir, form.file_name);
    job.created_time = form.created_time;
    return job;
}

QVariant scalar(const QString& sql)
{
    QSqlQuery query(QSqlDatabase::database("sqlite3Connection"));
    return query.exec(sql) && query.next() ? query.value(0) : QVariant();
}

QJsonObject fakeReply(const QJsonObject& reply)
{
    return QJsonObject { { "path", SUBMIT_PATH },
                         { "body", QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact)) } };
}

} // namespace

class TestAssetSubmission : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void bodyKeysTypesAndValues_data();
    void bodyKeysTypesAndValues();
    void saveAsNameIsTheUploadsSaveAsHeader_data();
    void saveAsNameIsTheUploadsSaveAsHeader();
    void replyRules_data();
    void replyRules();
    void answersReachRecordAndRow_data();
    void answersReachRecordAndRow();
    void refusedSubmissionIsSentAgainOnANewStart();
    void lateAnswerAfterDeleteRetiresNothing();
    void expiredSessionEndsTheSubmissionAndANewStartSendsItOnce();
    void oneFailedSubmissionLeavesTheOtherInFlight();
    void accountSwitchDuringSubmissionRetiresTheSubmittedRecord();
    void failingRetireNeverSubmitsTwice();

private:
    // A saved record (in the data directory's tmp folder) cached as a started row would cache it.
    AssetFormData savedAndCached();
    int submitRequests();

    DevsiteFixture site;
    MyDAO* dao = nullptr;
};

void TestAssetSubmission::initTestCase()
{
    QVERIFY(site.start());
    site.exportEnv();
    MyDAO::setReferenceFetchLimitMs(3000);
    dao = MyDAO::instance();
    int uid = 0;
    dao->setToken(site.loginToken("demo_teacher", "demo1234", &uid));
    QVERIFY(!dao->token().isEmpty());
    dao->setUid(uid);
}

void TestAssetSubmission::init()
{
    QVERIFY(site.reset());
    dao->clearFormCache();
}

void TestAssetSubmission::bodyKeysTypesAndValues_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("city");
    QTest::addColumn<int>("dist");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("cityDistSize"); // as the body carries them
    QTest::addColumn<bool>("introSent");

    QTest::newRow("document with a full region")
        << "a.docx" << 110100 << 110101 << qint64(4096) << "110100,110101,4096" << true;
    QTest::newRow("province only sends 0 for city and county")
        << "a.docx" << -1 << -1 << qint64(4096) << "0,0,4096" << true;
    QTest::newRow("size beyond 32 bits") << "big.mp4" << 110100 << -1 << 3LL * 1024 * 1024 * 1024
                                         << "110100,0,3221225472" << true;
    QTest::newRow("zip sends no text") << "pack.zip" << 110100 << 110101 << qint64(4096) << "110100,110101,4096"
                                       << false;
    QTest::newRow("ZIP in capitals keeps its text")
        << "PACK.ZIP" << 110100 << 110101 << qint64(4096) << "110100,110101,4096" << true;
}

void TestAssetSubmission::bodyKeysTypesAndValues()
{
    QFETCH(QString, fileName);
    QFETCH(int, city);
    QFETCH(int, dist);
    QFETCH(qint64, size);
    QFETCH(QString, cityDistSize);
    QFETCH(bool, introSent);

    AssetFormData form = sampleForm();
    form.id = 7;
    form.file_name = fileName;
    form.fitcity = city;
    form.fitdist = dist;
    form.file_size = size;
    const QByteArray body = submissionBody(form, UID);

    // Keys in the site's order, each once.
    const QStringList keys { "_id",           "catid",     "catpath", "xueduanid", "chid",
                             "copyrighttype", "flag",      "stars",   "softsize",  "fitprovince",
                             "fitcity",       "fitdist",   "subject", "filename",  "versionid",
                             "file_md5",      "uploadurl", "intro",   "typeid",    "typeidroot" };
    int at = 0;
    for (const QString& key : keys) {
        const int found = body.indexOf('"' + key.toUtf8() + "\":", at);
        QVERIFY2(found >= at, qPrintable(key));
        at = found + 1;
    }

    const QJsonObject o = QJsonDocument::fromJson(body).object();
    QCOMPARE(o.size(), keys.size());
    for (const char* number : { "_id", "catid", "xueduanid", "chid", "copyrighttype", "flag", "stars", "softsize",
                                "fitprovince", "fitcity", "fitdist", "versionid" })
        QVERIFY2(o.value(number).isDouble(), number);
    for (const char* text : { "catpath", "subject", "filename", "file_md5", "uploadurl", "intro" })
        QVERIFY2(o.value(text).isString(), text);
    QCOMPARE(QString("%1,%2,%3")
                 .arg(o.value("fitcity").toInt())
                 .arg(o.value("fitdist").toInt())
                 .arg(qint64(o.value("softsize").toDouble())),
             cityDistSize);
    QVERIFY(body.contains("\"softsize\":" + QByteArray::number(size) + ','));
    QCOMPARE(o.value("intro").toString(), introSent ? form.file_text : QString());
    QCOMPARE(o.value("typeid").toArray(), QJsonArray({ 11, 12 }));
    QCOMPARE(o.value("typeidroot").toArray(), QJsonArray({ 1, 2 }));
    QCOMPARE(o.value("_id").toInt(), 7);
    QCOMPARE(o.value("subject").toString(), form.subject);
    QCOMPARE(o.value("filename").toString(), fileName);
    QVERIFY(!o.contains("bookversionid") && !o.contains("catname_path") && !o.contains("fitname"));
}

void TestAssetSubmission::saveAsNameIsTheUploadsSaveAsHeader_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // %1 stands for the MD5

    QTest::newRow("worked example") << "/data/docs"
                                    << "a.docx"
                                    << "2021/01/15/vudedudiv20210115%1_1234_7_5_tool.docx";
    QTest::newRow("folder ending in a slash") << "/data/docs/"
                                              << "a.docx"
                                              << "2021/01/15/vudedudiv20210115%1_1234_7_5_tool.docx";
    QTest::newRow("only the name's last dot counts") << "/data/v1.2"
                                                     << "lesson.tar.gz"
                                                     << "2021/01/15/vudedudiv20210115%1_1234_7_5_tool.gz";
}

void TestAssetSubmission::saveAsNameIsTheUploadsSaveAsHeader()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(QString, expected);

    AssetFormData form = sampleForm();
    form.id = 7;
    form.file_dir = dir;
    form.file_name = name;
    const QString uploadurl = QJsonDocument::fromJson(submissionBody(form, UID)).object().value("uploadurl").toString();
    QCOMPARE(uploadurl, expected.arg(form.file_md5));

    // The header the pieces of the same record carry.
    const UploadFile job = jobOf(form);
    const QNetworkRequest piece = MyUploadThread::pieceRequest(QNetworkRequest(), job, UID, 0, 1023);
    QCOMPARE(QString::fromUtf8(piece.rawHeader("Save-As")), uploadurl);
}

void TestAssetSubmission::replyRules_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("text");

    QTest::newRow("code 0 accepted") << QJsonObject { { "errcode", 0 }, { "code", 0 }, { "msg", "提交成功" } } << true
                                     << QString();
    QTest::newRow("client failure") << QJsonObject { { "errcode", -3 }, { "code", 0 }, { "message", "0," } } << false
                                    << "0,";
    QTest::newRow("msg first") << QJsonObject {
        { "errcode", 0 }, { "code", 1 }, { "msg", "上传文件不存在" }, { "message", "其他" }
    } << false << "上传文件不存在";
    QTest::newRow("message when msg is empty")
        << QJsonObject { { "errcode", 0 }, { "code", 1 }, { "msg", "" }, { "message", "栏目错误" } } << false
        << "栏目错误";
    QTest::newRow("both empty") << QJsonObject { { "errcode", 0 }, { "code", 1 }, { "msg", "" }, { "message", "" } }
                                << false << "数据保存失败！";
    QTest::newRow("no code is no acceptance") << QJsonObject { { "errcode", 0 } } << false << "数据保存失败！";
}

void TestAssetSubmission::replyRules()
{
    QFETCH(QJsonObject, reply);
    QFETCH(bool, accepted);
    QFETCH(QString, text);
    const SubmissionVerdict verdict = judgeSubmissionReply(reply);
    QCOMPARE(verdict.accepted, accepted);
    QCOMPARE(verdict.text, text);
}

AssetFormData TestAssetSubmission::savedAndCached()
{
    static int serial = 0;
    AssetFormData form = sampleForm();
    form.file_dir = MyDAO::tmpDir();
    form.file_name = QString("packed%1-%2.zip").arg(QDateTime::currentMSecsSinceEpoch()).arg(++serial);
    // A file of its own: the list takes no second asset of a file it has.
    form.file_md5 = QCryptographicHash::hash(form.file_name.toUtf8(), QCryptographicHash::Md5).toHex();
    form.file_path = form.file_dir + form.file_name;
    QDir().mkpath(form.file_dir);
    QFile file(form.file_path);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(4096, 'x'));
    file.close();
    if (!dao->saveAssetForm(form, false))
        return {};
    dao->cacheForm(form);
    return form;
}

int TestAssetSubmission::submitRequests()
{
    return site.requests(SUBMIT_PATH).size();
}

void TestAssetSubmission::answersReachRecordAndRow_data()
{
    QTest::addColumn<QJsonObject>("fault"); // how devsite answers the submission
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("rowText");

    QTest::newRow("accepted") << fakeReply({ { "errcode", 0 }, { "code", 0 }, { "data", QJsonObject() } }) << true
                              << QString();
    QTest::newRow("refused by the site") << fakeReply({ { "errcode", 0 }, { "code", 1 }, { "msg", "上传文件不存在" } })
                                         << false << "上传文件不存在";
    QTest::newRow("refused without a reason")
        << fakeReply({ { "errcode", 0 }, { "code", 1 } }) << false << "数据保存失败！";
    QTest::newRow("request failed") << QJsonObject { { "path", SUBMIT_PATH }, { "status", 500 } } << false
                                    << "500,Internal Server Error";
}

void TestAssetSubmission::answersReachRecordAndRow()
{
    QFETCH(QJsonObject, fault);
    QFETCH(bool, accepted);
    QFETCH(QString, rowText);

    const AssetFormData form = savedAndCached();
    QVERIFY(form.id > 0);
    QVERIFY(site.fault(fault));
    QSignalSpy submitted(dao, &MyDAO::s_completed_submit);
    QSignalSpy progress(dao, &MyDAO::s_progress_upload);
    emit dao->s_completed_upload(form.id);
    QTRY_VERIFY_WITH_TIMEOUT(submitted.count() + progress.count() > 0, 20000);

    QCOMPARE(submitRequests(), 1);
    const QJsonObject sent
        = QJsonDocument::fromJson(site.requests(SUBMIT_PATH).at(0).toObject().value("body").toString().toUtf8())
              .object();
    QCOMPARE(sent.value("_id").toInt(), form.id);
    QCOMPARE(submitted.count(), accepted ? 1 : 0);
    QCOMPARE(scalar(QString("SELECT deleted_time IS NOT NULL FROM assets WHERE id=%1").arg(form.id)).toBool(),
             accepted);
    QCOMPARE(QFile::exists(form.file_path + ".tempfile"), accepted);
    QCOMPARE(dao->hasCachedForm(form.id), !accepted);
    if (accepted) {
        QCOMPARE(submitted.at(0).at(0).toString(), form.file_md5);
        QCOMPARE(submitted.at(0).at(1).toInt(), form.id);
        QCOMPARE(progress.count(), 0);
    } else {
        QCOMPARE(progress.count(), 1);
        const QList<QVariant> p = progress.at(0);
        QCOMPARE(p.at(0).toInt(), form.id);
        QCOMPARE(p.at(1).toString(), form.file_md5);
        QCOMPARE(p.at(2).toULongLong(), qulonglong(form.file_size)); // the bar shows the upload complete
        QCOMPARE(p.at(3).toString(), rowText);
        QCOMPARE(p.at(4).toString(), QString());
        QCOMPARE(dao->cachedForm(form.id).file_size_loaded, form.file_size);
    }
}

void TestAssetSubmission::refusedSubmissionIsSentAgainOnANewStart()
{
    AssetFormData form = savedAndCached();
    QVERIFY(form.id > 0);
    QVERIFY(site.fault(fakeReply({ { "errcode", 0 }, { "code", 1 }, { "msg", "栏目错误" } })));
    QSignalSpy progress(dao, &MyDAO::s_progress_upload);
    QSignalSpy submitted(dao, &MyDAO::s_completed_submit);
    emit dao->s_completed_upload(form.id);
    QTRY_COMPARE_WITH_TIMEOUT(progress.count(), 1, 20000);
    QCOMPARE(progress.at(0).at(3).toString(), QString("栏目错误"));

    // The row, started again, queues its job with the resume point the refusal reported.
    form.file_size_loaded = qint64(progress.at(0).at(2).toULongLong());
    UploadFile job = jobOf(form);
    job.file_status = 4;
    QVERIFY(site.fault(fakeReply({ { "errcode", 0 }, { "code", 0 } })));
    dao->cacheForm(form);
    dao->enqueueUpload(job);
    dao->enqueueUpload(job); // a second click while the first is under way sends nothing more
    QVERIFY(dao->queuedUploads().isEmpty()); // no worker gets it: no byte is sent again
    QTRY_COMPARE_WITH_TIMEOUT(submitted.count(), 1, 20000);
    QTest::qWait(100);
    QCOMPARE(submitRequests(), 2);
    QCOMPARE(site.requests("/upload/").size(), 0);
    QVERIFY(scalar(QString("SELECT deleted_time IS NOT NULL FROM assets WHERE id=%1").arg(form.id)).toBool());
}

void TestAssetSubmission::lateAnswerAfterDeleteRetiresNothing()
{
    const AssetFormData form = savedAndCached();
    QVERIFY(form.id > 0);
    QVERIFY(site.fault(fakeReply({ { "errcode", 0 }, { "code", 0 } })));
    QSignalSpy submitted(dao, &MyDAO::s_completed_submit);
    QSignalSpy progress(dao, &MyDAO::s_progress_upload);
    emit dao->s_completed_upload(form.id);
    QVERIFY(dao->isSubmitting(form.id));
    QVERIFY(dao->deleteAsset(form.id, form.file_md5)); // before the answer can arrive
    QTRY_VERIFY_WITH_TIMEOUT(!dao->isSubmitting(form.id), 20000);

    QCOMPARE(submitRequests(), 1);
    QCOMPARE(submitted.count(), 0);
    QCOMPARE(progress.count(), 0);
    QVERIFY(!dao->hasCachedForm(form.id));
    QVERIFY(QFile::exists(form.file_path));
    QVERIFY(!QFile::exists(form.file_path + ".tempfile"));
    QCOMPARE(scalar(QString("SELECT COUNT(*) FROM assets WHERE id=%1").arg(form.id)).toInt(), 0);

    // Nor does retiring a record that is no longer there report anything.
    QVERIFY(!dao->retireSubmittedAsset(form));
    QCOMPARE(submitted.count(), 0);

    // A completed upload that no row cached sends nothing.
    emit dao->s_completed_upload(form.id);
    QTest::qWait(200);
    QCOMPARE(submitRequests(), 1);
}

void TestAssetSubmission::expiredSessionEndsTheSubmissionAndANewStartSendsItOnce()
{
    AssetFormData form = savedAndCached();
    QVERIFY(form.id > 0);
    QVERIFY(site.fault({ { "path", SUBMIT_PATH }, { "session_invalid", true } }));
    QSignalSpy invalid(dao, &MyDAO::s_session_invalid);
    QSignalSpy progress(dao, &MyDAO::s_progress_upload);
    QSignalSpy submitted(dao, &MyDAO::s_completed_submit);
    emit dao->s_completed_upload(form.id);
    QTRY_COMPARE_WITH_TIMEOUT(invalid.count(), 1, 20000);
    // The row hears that the submission ended, with the site's text.
    QTRY_COMPARE_WITH_TIMEOUT(progress.count(), 1, 20000);
    QCOMPARE(progress.at(0).at(3).toString(), QString("登录已失效，请重新登录"));
    QVERIFY(!dao->isSubmitting(form.id));

    // After the new login the row is started again: the submission goes once and is accepted.
    const QString oldToken = dao->token();
    int uid = 0;
    dao->setToken(site.loginToken("demo_teacher", "demo1234", &uid));
    QVERIFY(dao->token() != oldToken);
    form.file_size_loaded = form.file_size;
    UploadFile job = jobOf(form);
    job.file_status = 4;
    QVERIFY(site.fault(fakeReply({ { "errcode", 0 }, { "code", 0 } })));
    dao->cacheForm(form);
    dao->enqueueUpload(job);
    QTRY_COMPARE_WITH_TIMEOUT(submitted.count(), 1, 20000);
    QCOMPARE(submitRequests(), 2);
    const QJsonArray sent = site.requests(SUBMIT_PATH);
    QCOMPARE(sent.at(1).toObject().value("query").toObject().value("token").toString(), dao->token());
}

void TestAssetSubmission::oneFailedSubmissionLeavesTheOtherInFlight()
{
    const AssetFormData first = savedAndCached();
    const AssetFormData second = savedAndCached();
    QVERIFY(first.id > 0 && second.id > 0);
    // The first is answered (200, accepted) only after the second has failed with a 502.
    QJsonObject slowAccept = fakeReply({ { "errcode", 0 }, { "code", 0 } });
    slowAccept.insert("delay_ms", 1500);
    QVERIFY(site.fault(slowAccept));
    QVERIFY(site.fault({ { "path", SUBMIT_PATH }, { "status", 502 } }));
    QSignalSpy submitted(dao, &MyDAO::s_completed_submit);
    QSignalSpy progress(dao, &MyDAO::s_progress_upload);
    emit dao->s_completed_upload(first.id);
    QTRY_COMPARE_WITH_TIMEOUT(submitRequests(), 1, 20000);
    emit dao->s_completed_upload(second.id);
    QTRY_COMPARE_WITH_TIMEOUT(progress.count(), 1, 20000);
    QCOMPARE(progress.at(0).at(0).toInt(), second.id);
    QCOMPARE(progress.at(0).at(3).toString(), QString("502,Bad Gateway"));

    QTRY_COMPARE_WITH_TIMEOUT(submitted.count(), 1, 20000);
    QCOMPARE(submitted.at(0).at(1).toInt(), first.id);
    QCOMPARE(progress.count(), 1);
    QVERIFY(scalar(QString("SELECT deleted_time IS NOT NULL FROM assets WHERE id=%1").arg(first.id)).toBool());
    QCOMPARE(submitRequests(), 2);
}

void TestAssetSubmission::accountSwitchDuringSubmissionRetiresTheSubmittedRecord()
{
    const AssetFormData form = savedAndCached(); // saved for the account logged in now
    QVERIFY(form.id > 0);
    const int owner = dao->uid();
    QJsonObject slowAccept = fakeReply({ { "errcode", 0 }, { "code", 0 } });
    slowAccept.insert("delay_ms", 800);
    QVERIFY(site.fault(slowAccept));
    QSignalSpy submitted(dao, &MyDAO::s_completed_submit);
    emit dao->s_completed_upload(form.id);
    QTRY_COMPARE_WITH_TIMEOUT(submitRequests(), 1, 20000);
    dao->setUid(owner + 1); // another account, while the answer is on its way
    QTRY_VERIFY_WITH_TIMEOUT(!dao->isSubmitting(form.id), 20000);
    dao->setUid(owner);

    QCOMPARE(submitted.count(), 1);
    QVERIFY(scalar(QString("SELECT deleted_time IS NOT NULL FROM assets WHERE id=%1").arg(form.id)).toBool());
    QVERIFY(!dao->hasCachedForm(form.id));
}

void TestAssetSubmission::failingRetireNeverSubmitsTwice()
{
    const AssetFormData form = savedAndCached();
    QVERIFY(form.id > 0);
    QSqlQuery sql(QSqlDatabase::database("sqlite3Connection"));
    QVERIFY(sql.exec("CREATE TEMP TRIGGER refuse_retire BEFORE UPDATE OF deleted_time ON assets "
                     "BEGIN SELECT RAISE(FAIL, 'refused by test'); END"));
    AssetSubmission::setRetireRetryMsForTesting(20);
    QVERIFY(site.fault(fakeReply({ { "errcode", 0 }, { "code", 0 } })));
    QSignalSpy submitted(dao, &MyDAO::s_completed_submit);
    QSignalSpy progress(dao, &MyDAO::s_progress_upload);
    emit dao->s_completed_upload(form.id);
    // Tried again, then shown as submitted: the row goes.
    QTRY_COMPARE_WITH_TIMEOUT(submitted.count(), 1, 20000);
    QVERIFY(sql.exec("DROP TRIGGER temp.refuse_retire"));
    AssetSubmission::setRetireRetryMsForTesting(1000);
    QCOMPARE(progress.count(), 0);
    QVERIFY(!dao->isSubmitting(form.id));
    // Whatever starts it again in this run, the site gets no second submission.
    dao->cacheForm(form);
    emit dao->s_completed_upload(form.id);
    QTest::qWait(300);
    QCOMPARE(submitRequests(), 1);
}

QTEST_MAIN(TestAssetSubmission)
#include "TestAssetSubmission.moc"
