// The upload list against the real devsite and the real upload workers: rows saved by the
// form upload, pause, fail, get deleted and come back after a restart.

#include "app/NestedWait.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"
#include "support/HeldBox.h"
#include "support/TestFiles.h"
#include "support/TestPaths.h"
#include "ui/MyProgressItemDetailDialog.h"
#include "ui/MyProgressItemWidget.h"
#include "ui/MyProgressListWidget.h"
#include "ui/UploadIntake.h"
#include "upload/MyUploadManager.h"
#include "widgets/MyMsgBox.h"

#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

const int WAIT = 60000;
const qint64 MiB = 1048576;

struct UrlRecorder : QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls << url; }

public:
    QList<QUrl> urls;
};

} // namespace

class TestProgressList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void savedWithUploadGoesFromWaitingToComplete();
    void pauseAndResumeKeepTheResumePoint();
    void failureTurnsRedAndANewStartSucceeds_data();
    void failureTurnsRedAndANewStartSucceeds();
    void deleteRow_data();
    void deleteRow();
    void rowGoesWhileItsDeleteBoxIsOpen();
    void restoreAfterRestartResumesFromTheStoredPoint();
    void startAllTwiceQueuesEveryIdleRowOnce();
    void editViewAndFolderButtons();
    void filesFromDialogAndDrop_data();
    void filesFromDialogAndDrop();
    void detailDialogRows();
    void titleElidedToItsWidthAfterResize();
    void networkFailureIsRetriedLaterByItself();
    void quickPauseAndStartSendsNoPieceTwice();

private:
    AssetFormData save(const TestFile& f, bool start);
    // Site-side state of the file with this MD5: bytes stored and whether it is complete
    // with that MD5.
    bool siteHasComplete(const QString& md5);
    QStringList rangesOf(const QString& md5);
    void slowPieces(int count, int delayMs);

    DevsiteFixture site;
    QTemporaryDir files;
    MyDAO* dao = nullptr;
    std::unique_ptr<MyProgressListWidget> list;
    int uid = 5100;
    quint32 seed = 7;
};

void TestProgressList::initTestCase()
{
    QVERIFY(files.isValid());
    qputenv("VANTREL_APPDIR", testBinDir().toUtf8());
    QVERIFY(site.start());
    site.exportEnv();
    MyDAO::setReferenceFetchLimitMs(3000);
    dao = MyDAO::instance();
    MyMsgBox::setUnattended(true);
}

void TestProgressList::init()
{
    // Every test lists only its own assets.
    dao->setUid(++uid);
    ++seed;
    QVERIFY(site.reset());
    dao->clearUploadJobs();
    MyUploadManager::instance()->createWorkers();
    MyMsgBox::clearShown();
    QSignalSpy restored(dao, &MyDAO::s_uplist_fromdb);
    list = std::make_unique<MyProgressListWidget>();
    list->resize(900, 600);
    QTRY_COMPARE_WITH_TIMEOUT(restored.count(), 1, WAIT);
}

void TestProgressList::cleanup()
{
    list.reset();
    MyUploadManager::instance()->stopAll();
    dao->clearUploadJobs();
    QVERIFY(site.reset());
}

AssetFormData TestProgressList::save(const TestFile& f, bool start)
{
    AssetFormData form;
    form.subject = "七年级数学 " + f.name;
    form.types = { { "课件", 11, 1 } };
    form.xueduanid = 2;
    form.chid = 2;
    form.catid = 7;
    form.versionid = 3;
    form.fitprovince = 1;
    form.is_filling = true;
    form.file_path = f.path;
    form.file_name = f.name;
    form.file_dir = QFileInfo(f.path).absolutePath();
    form.file_icon = "ppt";
    form.file_md5 = f.md5;
    form.file_size = f.size;
    form.file_text = "略...";
    if (!dao->saveAssetForm(form, start))
        qWarning("saveAssetForm failed");
    return form;
}

bool TestProgressList::siteHasComplete(const QString& md5)
{
    for (const QJsonValue& v : site.uploads()) {
        const QJsonObject u = v.toObject();
        if (u.value("file_md5").toString() == md5 && u.value("complete").toBool() && u.value("md5").toString() == md5)
            return true;
    }
    return false;
}

QStringList TestProgressList::rangesOf(const QString& md5)
{
    QStringList out;
    for (const QJsonValue& v : site.requests("/upload/")) {
        const QJsonObject headers = v.toObject().value("headers").toObject();
        QString session, range;
        for (auto it = headers.begin(); it != headers.end(); ++it) {
            if (it.key().compare("Session-ID", Qt::CaseInsensitive) == 0)
                session = it.value().toString();
            if (it.key().compare("X-Content-Range", Qt::CaseInsensitive) == 0)
                range = it.value().toString();
        }
        if (session.startsWith(md5 + "-"))
            out << range;
    }
    return out;
}

void TestProgressList::slowPieces(int count, int delayMs)
{
    QVERIFY(site.fault({ { "path", "/upload/" }, { "count", count }, { "delay_ms", delayMs } }));
}

void TestProgressList::savedWithUploadGoesFromWaitingToComplete()
{
    const TestFile f = makeTestFile(files.path(), QString("课件%1.pptx").arg(seed), 3 * MiB + 5000, seed);
    slowPieces(2, 300);
    QSignalSpy empty(list.get(), &MyProgressListWidget::s_rows_empty);
    const AssetFormData form = save(f, true);
    QCOMPARE(list->rowCount(), 1);
    QCOMPARE(list->countLabel()->text(), QString("共1份资料"));
    MyProgressItemWidget* row = list->findRow(f.md5, form.id);
    QVERIFY(row);
    QVERIFY(row->isBuilt());
    QCOMPARE(row->look(), MyProgressItemWidget::Look::Waiting);
    QCOMPARE(row->rateText(), QString("等待上传"));
    QCOMPARE(row->startButton()->toolTip(), QString("暂停"));
    QCOMPARE(row->styleSheet(), QString("QProgressBar::chunk {background: #2bbb61} #progress_rate {color: #999 }"));

    QTRY_COMPARE_WITH_TIMEOUT(row->look(), MyProgressItemWidget::Look::Uploading, WAIT);
    QVERIFY2(row->rateText().endsWith("/s"), qPrintable(row->rateText()));
    QTRY_VERIFY_WITH_TIMEOUT(row->job().file_size_loaded == f.size, WAIT);
    QTRY_VERIFY_WITH_TIMEOUT(siteHasComplete(f.md5), WAIT);

    // The submission ends with s_completed_submit; the row reads "上传成功" for a moment, then
    // goes and the list is empty.
    if (list->findRow(f.md5, form.id))
        emit dao->s_completed_submit(f.md5, form.id);
    if (MyProgressItemWidget* stays = list->findRow(f.md5, form.id)) {
        QVERIFY(stays->isSucceeded());
        QVERIFY(!stays->startButton()->isEnabled());
    }
    QTRY_COMPARE(list->rowCount(), 0);
    QCOMPARE(list->countLabel()->text(), QString("共0份资料"));
    QCOMPARE(empty.count(), 1);
}

void TestProgressList::pauseAndResumeKeepTheResumePoint()
{
    const TestFile f = makeTestFile(files.path(), QString("暂停%1.mp4").arg(seed), 6 * MiB + 77, seed);
    slowPieces(100, 150);
    const AssetFormData form = save(f, true);
    MyProgressItemWidget* row = list->findRow(f.md5, form.id);
    QTRY_VERIFY_WITH_TIMEOUT(row->job().file_size_loaded >= 2 * MiB, WAIT);
    row->toggle();
    QVERIFY(row->isPausedByUser());
    QCOMPARE(row->look(), MyProgressItemWidget::Look::Idle);
    QCOMPARE(row->rateText(), QString("0.00B/s"));
    QCOMPARE(row->startButton()->toolTip(), QString("开始"));
    QVERIFY(!dao->queuedUploads().contains(row->job()));
    // Let the piece in flight come back; it is reported but the row stays paused.
    QTest::qWait(1500);
    const qint64 point = row->job().file_size_loaded;
    QCOMPARE(qint64(rangesOf(f.md5).size()) * MiB, point);
    QCOMPARE(row->look(), MyProgressItemWidget::Look::Idle);
    QCOMPARE(row->rateText(), QString("0.00B/s"));

    // A late or stale report neither moves the bar back nor shows a rate.
    UploadFile stale = row->job();
    stale.file_status = 1;
    stale.file_size_loaded = MiB;
    dao->updateUploadProgress(stale, "9MB/s");
    QTRY_COMPARE(row->job().file_size_loaded, point);
    QCOMPARE(row->rateText(), QString("0.00B/s"));

    // "全部开始" resumes it, and progress is shown again although it was paused by the user.
    list->startAll();
    QTRY_COMPARE_WITH_TIMEOUT(row->look(), MyProgressItemWidget::Look::Uploading, WAIT);
    QTRY_VERIFY_WITH_TIMEOUT(siteHasComplete(f.md5), WAIT);
    const QStringList ranges = rangesOf(f.md5);
    QCOMPARE(ranges.at(int(point / MiB)), QString("bytes %1-%2/%3").arg(point).arg(point + MiB - 1).arg(f.size));
    QCOMPARE(ranges.size(), 7); // every piece once
}

void TestProgressList::failureTurnsRedAndANewStartSucceeds_data()
{
    QTest::addColumn<bool>("moveFile");
    QTest::addColumn<QString>("text");
    QTest::newRow("site refuses every attempt") << false << "上传失败,500,Internal Server Error";
    QTest::newRow("file moved since it was saved") << true << "文件不存在，上传失败";
}

void TestProgressList::failureTurnsRedAndANewStartSucceeds()
{
    QFETCH(bool, moveFile);
    QFETCH(QString, text);
    const TestFile f = makeTestFile(files.path(), QString("失败%1.doc").arg(seed), 2 * MiB + 10, seed);
    if (moveFile)
        QVERIFY(QFile::rename(f.path, f.path + ".moved"));
    else
        QVERIFY(site.fault({ { "path", "/upload/" }, { "count", 5 }, { "status", 500 } }));
    const AssetFormData form = save(f, true);
    MyProgressItemWidget* row = list->findRow(f.md5, form.id);
    QTRY_COMPARE_WITH_TIMEOUT(row->look(), MyProgressItemWidget::Look::Failed, WAIT);
    QCOMPARE(row->rateText(), text);
    QCOMPARE(row->styleSheet(), QString("QProgressBar::chunk {background: #f76e6e} #progress_rate {color: #cc1d1d }"));
    QCOMPARE(row->job().file_status, 4);
    QVERIFY(!row->isActive());

    if (moveFile)
        QVERIFY(QFile::rename(f.path + ".moved", f.path));
    row->toggle();
    QCOMPARE(row->look(), MyProgressItemWidget::Look::Waiting);
    QTRY_VERIFY_WITH_TIMEOUT(siteHasComplete(f.md5), WAIT);
}

void TestProgressList::deleteRow_data()
{
    QTest::addColumn<bool>("uploading");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("question");
    QTest::newRow("idle, cancelled") << false << false << "确定删除该资料吗？";
    QTest::newRow("idle, confirmed") << false << true << "确定删除该资料吗？";
    QTest::newRow("uploading, confirmed") << true << true << "文件正在上传，确定删除吗？";
}

void TestProgressList::deleteRow()
{
    QFETCH(bool, uploading);
    QFETCH(bool, confirm);
    QFETCH(QString, question);
    const TestFile f = makeTestFile(files.path(), QString("删除%1.pdf").arg(seed), 8 * MiB, seed);
    slowPieces(100, 150);
    QSignalSpy empty(list.get(), &MyProgressListWidget::s_rows_empty);
    const AssetFormData form = save(f, uploading);
    MyProgressItemWidget* row = list->findRow(f.md5, form.id);
    if (uploading)
        QTRY_COMPARE_WITH_TIMEOUT(row->look(), MyProgressItemWidget::Look::Uploading, WAIT);

    MyMsgBox::answerNext(confirm ? MyMsgBox::PressSubmit : MyMsgBox::PressCancel);
    row->deleteButton()->click();
    QCOMPARE(MyMsgBox::shownBoxes().size(), 1);
    QCOMPARE(MyMsgBox::shownBoxes().first().text, question);
    QCOMPARE(list->rowCount(), confirm ? 0 : 1);
    QCOMPARE(empty.count(), confirm ? 1 : 0);
    bool stored = false;
    for (const AssetFormData& a : dao->loadPendingAssets())
        stored = stored || a.id == form.id;
    QCOMPARE(stored, !confirm);
    if (uploading) {
        // At most the piece that was in flight arrives; nothing is sent after it.
        const int sent = rangesOf(f.md5).size();
        QTest::qWait(1500);
        QVERIFY2(rangesOf(f.md5).size() <= sent + 1, qPrintable(rangesOf(f.md5).join(", ")));
        QVERIFY(!siteHasComplete(f.md5));
    }
}

void TestProgressList::rowGoesWhileItsDeleteBoxIsOpen()
{
    // The author asks to delete an uploading row; before they answer, the site accepts the
    // row's submission and the list removes the row.
    const TestFile f = makeTestFile(files.path(), QString("提交中%1.pdf").arg(seed), 3 * MiB, seed);
    slowPieces(100, 150);
    const AssetFormData form = save(f, true);
    QPointer<MyProgressItemWidget> row = list->findRow(f.md5, form.id);
    QVERIFY(row && row->isActive());

    HeldBox boxes;
    boxes.onBox("文件正在上传，确定删除吗？", [&](MyMsgBox*) {
        emit dao->s_completed_submit(f.md5, form.id);
        // Nobody answers while the row shows its success and is then let go.
        QTRY_VERIFY(NestedWait::isGone(row));
    });
    row->deleteButton()->click();
    QVERIFY(boxes.stepsDone());
    QTRY_VERIFY(!row);
    QCOMPARE(list->rowCount(), 0);
    // The box closed by itself with the row.
    QCOMPARE(MyMsgBox::shownBoxes().size(), 1);
    QCOMPARE(MyMsgBox::shownBoxes().at(0).result, int(MyMsgBox::Abandoned));
    // The answer came for a row that was gone: nothing was deleted on its behalf.
    bool stored = false;
    for (const AssetFormData& a : dao->loadPendingAssets())
        stored = stored || a.id == form.id;
    QVERIFY(stored);
}

void TestProgressList::restoreAfterRestartResumesFromTheStoredPoint()
{
    const TestFile f = makeTestFile(files.path(), QString("续传%1.zip").arg(seed), 5 * MiB + 3, seed);
    slowPieces(100, 150);
    const AssetFormData form = save(f, true);
    QTRY_VERIFY_WITH_TIMEOUT(list->findRow(f.md5, form.id)->job().file_size_loaded >= 2 * MiB, WAIT);

    // Quit: the list goes, the workers stop (a piece in flight is cut).
    list.reset();
    MyUploadManager::instance()->stopAll();
    qint64 stored = -1;
    for (const AssetFormData& a : dao->loadPendingAssets()) {
        if (a.id == form.id)
            stored = a.file_size_loaded;
    }
    QVERIFY(stored >= 2 * MiB && stored < f.size);
    const int sentBefore = rangesOf(f.md5).size();

    MyUploadManager::instance()->createWorkers();
    list = std::make_unique<MyProgressListWidget>();
    QSignalSpy hasFiles(list.get(), &MyProgressListWidget::s_hasFiles);
    QVERIFY(hasFiles.wait(WAIT));
    QCOMPARE(list->rowCount(), 1);
    MyProgressItemWidget* row = list->findRow(f.md5, form.id);
    QVERIFY(row);
    QCOMPARE(row->job().file_size_loaded, stored);
    QCOMPARE(row->job().file_status, 1);
    QCOMPARE(row->look(), MyProgressItemWidget::Look::Idle);
    QCOMPARE(row->rateText(), QString("0.00B/s"));

    row->toggle();
    QTRY_VERIFY_WITH_TIMEOUT(siteHasComplete(f.md5), WAIT);
    QCOMPARE(rangesOf(f.md5).at(sentBefore).section('-', 0, 0), QString("bytes %1").arg(stored));
}

void TestProgressList::startAllTwiceQueuesEveryIdleRowOnce()
{
    MyUploadManager::instance()->stopAll(); // nothing takes the jobs: the queue shows what was queued
    QList<int> ids;
    for (int i = 0; i < 4; ++i) {
        const TestFile f = makeTestFile(files.path(), QString("全部%1-%2.xls").arg(seed).arg(i), 4096, seed * 10 + i);
        ids << save(f, i == 0).id; // the first one is already waiting
    }
    QCOMPARE(dao->queuedUploads().size(), 1);
    list->startAllButton()->click();
    list->startAllButton()->click();
    QVERIFY(!list->startAllButton()->isEnabled());
    QList<int> queued;
    for (const UploadFile& job : dao->queuedUploads())
        queued << job.file_id;
    QCOMPARE(queued, ids);
    for (int i = 0; i < list->rowCount(); ++i)
        QCOMPARE(list->row(i)->look(), MyProgressItemWidget::Look::Waiting);
    QTRY_VERIFY(list->startAllButton()->isEnabled());
    list->startAllButton()->click();
    QCOMPARE(dao->queuedUploads().size(), 4);
}

void TestProgressList::editViewAndFolderButtons()
{
    MyUploadManager::instance()->stopAll();
    const TestFile f = makeTestFile(files.path(), QString("编辑%1.txt").arg(seed), 4096, seed);
    const AssetFormData form = save(f, false);
    MyProgressItemWidget* row = list->findRow(f.md5, form.id);
    QSignalSpy showOrEdit(dao, &MyDAO::s_show_or_edit);
    row->editButton()->click(); // nothing sent, idle: edit
    row->startButton()->click();
    row->editButton()->click(); // waiting: view
    QCOMPARE(showOrEdit.count(), 2);
    QCOMPARE(showOrEdit.at(0), QVariantList({ form.id, false }));
    QCOMPARE(showOrEdit.at(1), QVariantList({ form.id, true }));

    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    row->folderButton()->click();
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(recorder.urls, QList<QUrl>({ QUrl::fromLocalFile(form.file_dir) }));
}

void TestProgressList::filesFromDialogAndDrop_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("accepted");
    QTest::addColumn<QString>("box");
    QTest::newRow("two supported files") << QStringList { "a.docx", "b.mp3" } << 2 << QString();
    QTest::newRow("nothing supported") << QStringList { "c.exe" } << 0 << "上传文件，格式不支持";
}

void TestProgressList::filesFromDialogAndDrop()
{
    QFETCH(QStringList, names);
    QFETCH(int, accepted);
    QFETCH(QString, box);
    QList<QUrl> urls;
    for (const QString& name : names)
        urls << QUrl::fromLocalFile(makeTestFile(files.path(), name, 4096, seed++).path);
    QSignalSpy picked(list.get(), qOverload<QStringList>(&MyProgressListWidget::s_back_2_editform));
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.get(), &drop);
    QCOMPARE(picked.count(), accepted ? 1 : 0);
    if (accepted)
        QCOMPARE(picked.takeFirst().at(0).toStringList().size(), accepted);
    QCOMPARE(MyMsgBox::shownBoxes().isEmpty(), box.isEmpty());
    if (!box.isEmpty())
        QCOMPARE(MyMsgBox::shownBoxes().first().text, box);

    answerNextFileDialog({ urls.first().toLocalFile() });
    list->appendButton()->click();
    QCOMPARE(picked.count(), 1);
    QCOMPARE(picked.first().at(0).toStringList(), QStringList({ urls.first().toLocalFile() }));
}

void TestProgressList::detailDialogRows()
{
    AssetFormData form;
    form.subject = "期中试卷";
    form.types = { { "试卷", 21, 2 }, { "课件", 11, 1 } };
    form.flag = 15;
    form.xueduanid = 2;
    form.chid = 2;
    form.catname_path = "七年级上/第一章";
    form.copyrighttype = 1;
    form.fitname = "广东省广州市";
    form.stars = 4;
    MyProgressItemDetailDialog dialog(form);
    QCOMPARE(dialog.windowTitle(), QString("查看资料详情"));
    QCOMPARE(dialog.rowTexts(),
             QStringList({ "期中试卷", "试卷，课件", "特供(首发试卷)", "初中/数学", "七年级上/第一章", "原创",
                           "广东省广州市", "4星级" }));
    QVERIFY(dialog.findChild<QPushButton*>("btn_bottom_cancel"));
}

void TestProgressList::networkFailureIsRetriedLaterByItself()
{
    const TestFile f = makeTestFile(files.path(), QString("断网%1.doc").arg(seed), MiB + 10, seed);
    MyDAO::setRetryFirstMsForTesting(1500);
    // More refusals than the worker's own retries allow: the row fails, then comes back.
    QVERIFY(site.fault({ { "path", "/upload/" }, { "count", 5 }, { "status", 503 } }));
    const AssetFormData form = save(f, true);
    MyProgressItemWidget* row = list->findRow(f.md5, form.id);
    QTRY_COMPARE_WITH_TIMEOUT(row->look(), MyProgressItemWidget::Look::Failed, WAIT);
    QCOMPARE(row->rateText(), QString("上传失败,503,Service Unavailable"));
    QTRY_VERIFY_WITH_TIMEOUT(row->retryAt().isValid(), WAIT);
    QVERIFY(row->statusTip().contains(row->retryAt().toString("HH:mm:ss")));
    QVERIFY(row->retryAt() > QDateTime::currentDateTime().addMSecs(-100));

    QTRY_VERIFY_WITH_TIMEOUT(siteHasComplete(f.md5), WAIT);
    QTRY_COMPARE_WITH_TIMEOUT(row->job().file_size_loaded, f.size, WAIT);
    QVERIFY(!row->retryAt().isValid());
    MyDAO::setRetryFirstMsForTesting(0);
}

void TestProgressList::quickPauseAndStartSendsNoPieceTwice()
{
    const TestFile f = makeTestFile(files.path(), QString("快速%1.mp4").arg(seed), 4 * MiB + 3, seed);
    slowPieces(100, 600);
    const AssetFormData form = save(f, true);
    MyProgressItemWidget* row = list->findRow(f.md5, form.id);
    // The first piece is in, the second on its way.
    QTRY_VERIFY_WITH_TIMEOUT(row->job().file_size_loaded == MiB && rangesOf(f.md5).size() == 2, WAIT);
    row->toggle();
    row->toggle();
    QCOMPARE(row->look(), MyProgressItemWidget::Look::Waiting);
    QTRY_VERIFY_WITH_TIMEOUT(siteHasComplete(f.md5), WAIT);
    const QStringList ranges = rangesOf(f.md5);
    QCOMPARE(ranges.size(), 5); // every piece once
    QCOMPARE(QSet<QString>(ranges.begin(), ranges.end()).size(), 5);
}

QTEST_MAIN(TestProgressList)
#include "TestProgressList.moc"

void TestProgressList::titleElidedToItsWidthAfterResize()
{
    const QString name = QString("高中语文必修上册第一单元%1课文朗读与赏析配套课件").arg(seed) + ".pptx";
    const TestFile f = makeTestFile(files.path(), name, 2048, seed);
    const AssetFormData form = save(f, false);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    MyProgressItemWidget* row = list->findRow(f.md5, form.id);
    QVERIFY(row);
    auto* title = row->findChild<QLabel*>("asset_title");
    QVERIFY(title);
    // The title shows what fits the label as the layout sized it, before and after the
    // window changes width.
    auto fits = [&]() {
        return title->fontMetrics().elidedText(form.subject, Qt::ElideRight, title->contentsRect().width());
    };
    for (int width : { 1100, 600, 1400 }) {
        list->resize(width, 600);
        QTRY_COMPARE(title->text(), fits());
    }
    QCOMPARE(title->toolTip(), form.subject);
}
