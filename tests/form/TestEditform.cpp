#include "form/FormTestKit.h"
#include "form/MyEditformWidget.h"
#include "form/MyLinkDistrictWidget.h"
#include "form/XdChidItemWidgets.h"

#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

// A record as a saved, analysed form would hold it.
AssetFormData completeRecord(const QString& path)
{
    AssetFormData r;
    const QFileInfo info(path);
    r.file_path = info.absoluteFilePath();
    r.file_name = info.fileName();
    r.file_dir = info.absolutePath();
    r.file_size = info.size();
    r.file_md5 = "0123456789abcdef0123456789abcdef";
    r.subject = "初中数学期末试卷";
    r.types = { AssetTypeItem { "试题试卷/期中/期末试卷", 703, 7 } };
    r.flag = 6;
    r.xueduanid = 2;
    r.chid = 2;
    r.catid = 2020001;
    r.catname_path = "初中数学>专题复习>期末复习";
    r.catpath = "2020001";
    r.versionid = 2;
    r.copyrighttype = 1;
    r.fitprovince = 0;
    r.fitcity = -1;
    r.fitdist = -1;
    r.fitname = "全国";
    r.stars = 3;
    return r;
}

} // namespace

class TestEditform : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.start(); }
    void init() { MyMsgBox::clearShown(); }

    void stageSubjectFromTitle_data();
    void stageSubjectFromTitle();
    void refusalsInOrder_data();
    void refusalsInOrder();
    void earlierFileResultsDropped();
    void duplicateFileSkipped();
    void archives_data();
    void archives();
    void archiveWarningStaysWithItsForm();
    void cancelDeletesOnlyTmpFiles_data();
    void cancelDeletesOnlyTmpFiles();
    void titleNamingOnlyAStageKeepsTheRest();
    void fingerprintTakenAgainOnceReadable();

private:
    // A zip made with 7-Zip of small files of the given names.
    QString zipOf(const QString& name, const QStringList& files)
    {
        QTemporaryDir content;
        for (const QString& f : files)
            writeFile(content.filePath(f), 1200, f.toUtf8());
        const QString zip = kit.dir.filePath(name);
        QProcess p;
        p.setWorkingDirectory(content.path());
        const QString sevenZip = QStandardPaths::findExecutable("7zz");
        // Stored, not compressed: the zip is no smaller than its files.
        p.start(sevenZip.isEmpty() ? QString("7z") : sevenZip, { "a", "-tzip", "-mx0", zip, "." });
        return p.waitForFinished(60000) && p.exitCode() == 0 ? zip : QString();
    }
    QString file(const QString& name, qint64 size, const QByteArray& seed)
    {
        const QString path = kit.dir.filePath(name);
        writeFile(path, size, seed);
        return path;
    }
    FormTestFixture kit;
};

void TestEditform::stageSubjectFromTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("subject");

    QTest::newRow("stage and subject") << "初中数学期末试卷" << 2 << 2;
    QTest::newRow("first rule wins: 高中 before 初中") << "高一物理必修一" << 3 << 4;
    QTest::newRow("政治思品 without brackets") << "七年级政治思品上册" << 2 << 18;
    QTest::newRow("only 道德与法治") << "八年级道德与法治练习" << 2 << 18;
    QTest::newRow("stage without subject") << "小学综合测评" << 1 << 0;
    QTest::newRow("nothing named") << "期末复习卷" << 0 << 0;
}

void TestEditform::stageSubjectFromTitle()
{
    QFETCH(QString, title);
    QFETCH(int, stage);
    QFETCH(int, subject);
    MyEditformWidget form;
    QVERIFY(form.loadFile(file(title + ".pdf", 2048, title.toUtf8()), 0));
    QCOMPARE(form.stageSubject()->stage(), stage);
    QCOMPARE(form.stageSubject()->subject(), subject);
    QCOMPARE(form.formData().subject, title);
}

void TestEditform::refusalsInOrder_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("next");

    QTest::newRow("complete") << ""
                              << "" << false;
    QTest::newRow("encrypted archive first") << "encrypted+duplicate"
                                             << "解析失败，文件%name\r\n无法解压加密文件" << true;
    QTest::newRow("duplicate") << "duplicate+pending"
                               << "服务器已有相同资源，不允许重复上传" << true;
    QTest::newRow("too small") << "small+pending"
                               << "选择的资源小于1KB，无效资源" << true;
    QTest::newRow("file gone") << "gone+pending"
                               << "文件%path已不存在或无法读取，请检查后再保存" << false;
    QTest::newRow("analysis running") << "pending+warning"
                                      << "稍后提交，正在解析文档内容..." << false;
    QTest::newRow("archive warning") << "warning+broken"
                                     << "压缩包有问题" << false;
    QTest::newRow("broken archive") << "broken+nomd5"
                                    << "压缩文件解析失败，请重新压缩后上传，err:x003" << true;
    QTest::newRow("no fingerprint") << "nomd5+blank"
                                    << "文档正在解析，稍后提交保存" << false;
    QTest::newRow("blank title") << "blank+notypes"
                                 << "资料标题不能为空" << false;
    QTest::newRow("title of 500") << "long+notypes"
                                  << "资料标题不能超过100个字（现有500个字）" << false;
    QTest::newRow("no types") << "notypes+nostage"
                              << "资料类型未设置" << false;
    QTest::newRow("no stage") << "nostage"
                              << "学段未设置" << false;
    QTest::newRow("no subject") << "nosubject+nochapter"
                                << "学科未设置" << false;
    QTest::newRow("no chapter") << "nochapter+noversion"
                                << "资料栏目未设置" << false;
    QTest::newRow("no version") << "noversion+noregion"
                                << "资料版本未设置" << false;
    QTest::newRow("no region") << "noregion"
                               << "适用地区未设置" << false;
}

void TestEditform::refusalsInOrder()
{
    QFETCH(QString, change);
    QFETCH(QString, message);
    QFETCH(bool, next);
    const QStringList changes = change.split('+', Qt::SkipEmptyParts);

    const QString path = file("记录.pdf", 2048, "record");
    AssetFormData r = completeRecord(path);
    if (changes.contains("small"))
        r.file_size = 1023;
    if (changes.contains("gone"))
        r.file_path = kit.dir.filePath("不在了.pdf");
    if (changes.contains("nomd5"))
        r.file_md5.clear();
    if (changes.contains("blank"))
        r.subject = "   ";
    if (changes.contains("long"))
        r.subject = QString(500, QChar(0x5b57));
    if (changes.contains("notypes"))
        r.types.clear();
    if (changes.contains("nostage"))
        r.xueduanid = 0;
    if (changes.contains("nosubject"))
        r.chid = 0;
    if (changes.contains("nochapter"))
        r.catid = 0;
    if (changes.contains("noversion"))
        r.versionid = 0;
    if (changes.contains("noregion"))
        r.fitprovince = -1;

    MyEditformWidget form;
    QVERIFY(form.loadForm(r));
    // Wait for the pickers to take the stored values from the site.
    if (r.versionid)
        QTRY_VERIFY_WITH_TIMEOUT(form.versionCombo()->count() > 1, 20000);
    if (r.fitprovince != -1)
        QTRY_COMPARE_WITH_TIMEOUT(form.districtWidget()->region().province, r.fitprovince, 20000);
    form.archiveEncrypted = changes.contains("encrypted");
    if (changes.contains("duplicate"))
        form.checkState = 2;
    form.md5Pending = changes.contains("pending");
    if (changes.contains("warning"))
        form.archiveWarning = "压缩包有问题";
    form.isArchive = changes.contains("broken");

    QSignalSpy nextSpy(&form, &MyEditformWidget::s_edit_next);
    const bool ok = form.checkBeforeSave();
    QCOMPARE(ok, message.isEmpty());
    QCOMPARE(shownTexts(),
             message.isEmpty()
                 ? QStringList()
                 : QStringList { QString(message).replace("%name", r.file_name).replace("%path", r.file_path) });
    QCOMPARE(nextSpy.count(), next ? 1 : 0);
    // A field the author left out takes the keyboard, so the author goes on right there.
    const QMap<QString, QString> focusOn { { "资料标题不能为空", "asset_title_input" },
                                           { "资料类型未设置", "add_category_item" },
                                           { "资料栏目未设置", "select_category_btn" } };
    if (focusOn.contains(message)) {
        QVERIFY(form.focusWidget());
        QCOMPARE(form.focusWidget()->objectName(), focusOn.value(message));
    } else if (message.endsWith("未设置")) {
        QVERIFY(qobject_cast<QComboBox*>(form.focusWidget()));
    }
    if (ok) {
        // What the pickers read back is what was stored.
        QCOMPARE(form.formData().fitprovince, 0);
        QCOMPARE(form.formData().fitname, QString("全国"));
        QCOMPARE(form.formData().versionid, 2);
        QCOMPARE(form.formData().copyrighttype, 1);
        QCOMPARE(form.formData().stars, 3);
    }
}

void TestEditform::earlierFileResultsDropped()
{
    // The site knows the first file; its answers would skip the second one if they got through.
    QString known = kit.dir.filePath("first.pdf");
    const QString knownMd5 = writeFile(known, 4096, "known first");
    QVERIFY(!kit.site.admin("POST", "/__devsite/known-md5", QJsonObject { { "md5", knownMd5 } }).isNull());
    kit.site.reset();
    QString second = kit.dir.filePath("second.pdf");
    const QString secondMd5 = writeFile(second, 4096, "second file");

    MyEditformWidget form;
    QSignalSpy nextSpy(&form, &MyEditformWidget::s_edit_next);
    QVERIFY(form.loadFile(known, 1));
    QVERIFY(form.loadFile(second, 0));
    QTRY_VERIFY_WITH_TIMEOUT(form.checkState == 1 && !form.md5Pending && !form.analysisPending, 20000);
    QCOMPARE(form.formData().file_md5, secondMd5);
    QCOMPARE(form.formData().file_name, QString("second.pdf"));
    QCOMPARE(nextSpy.count(), 0);
    const QJsonArray checks = kit.site.requests("/toolupload/asset/subset-check");
    QCOMPARE(checks.size(), 1);
    QCOMPARE(checks.at(0).toObject().value("query").toObject().value("file_md5").toString(), secondMd5);
}

void TestEditform::duplicateFileSkipped()
{
    const QString path = kit.dir.filePath("dup.pdf");
    const QString md5 = writeFile(path, 2048, "the site has this");
    QVERIFY(!kit.site.admin("POST", "/__devsite/known-md5", QJsonObject { { "md5", md5 } }).isNull());
    MyEditformWidget form;
    QSignalSpy nextSpy(&form, &MyEditformWidget::s_edit_next);
    QVERIFY(form.loadFile(path, 0));
    QTRY_COMPARE_WITH_TIMEOUT(nextSpy.count(), 1, 20000);
    QCOMPARE(form.checkState, 2);
    QCOMPARE(shownTexts(), QStringList { "服务器已有相同资源，不允许重复上传" });
}

void TestEditform::archives_data()
{
    QTest::addColumn<int>("folders");
    QTest::addColumn<int>("filesPerFolder");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("small archive is repacked") << 2 << 3 << true;
    QTest::newRow("listing of more than 1001 lines") << 10 << 100 << false;
}

void TestEditform::archives()
{
    QFETCH(int, folders);
    QFETCH(int, filesPerFolder);
    QFETCH(bool, accepted);

    QTemporaryDir content;
    for (int d = 0; d < folders; ++d) {
        for (int f = 0; f < filesPerFolder; ++f)
            writeFile(content.filePath(QString("d%1/f%2.txt").arg(d).arg(f)), 1200, QByteArray::number(d * 1000 + f));
    }
    const QString zip = kit.dir.filePath(QString("初中数学资料%1.zip").arg(folders));
    QProcess p;
    p.setWorkingDirectory(content.path());
    const QString sevenZip = QStandardPaths::findExecutable("7zz");
    p.start(sevenZip.isEmpty() ? QString("7z") : sevenZip, { "a", "-tzip", zip, "." });
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);

    MyEditformWidget form;
    QSignalSpy nextSpy(&form, &MyEditformWidget::s_edit_next);
    QVERIFY(form.loadFile(zip, 0));
    QVERIFY(form.isArchive);
    if (!accepted) {
        QTRY_COMPARE_WITH_TIMEOUT(nextSpy.count(), 1, 60000);
        QCOMPARE(shownTexts().size(), 1);
        QVERIFY2(shownTexts().first().contains("超过1000个"), qPrintable(shownTexts().first()));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(form.archiveOk && form.checkState == 1 && !form.formData().file_md5.isEmpty(), 60000);
    QCOMPARE(nextSpy.count(), 0);
    QVERIFY(form.archiveEntries.size() >= folders * filesPerFolder);
    QVERIFY(form.formData().file_text.startsWith("压缩包文件列表：\r\n---\r\n"));
    // The form now holds the repacked zip of the tmp directory.
    QVERIFY2(form.formData().file_path.startsWith(MyDAO::tmpDir()), qPrintable(form.formData().file_path));
    QVERIFY(QFileInfo::exists(form.formData().file_path));
}

void TestEditform::archiveWarningStaysWithItsForm()
{
    // A batch with an archive holding another archive is given up while its archive is still
    // being read; the next batch's form reads a clean archive meanwhile.
    const QString nested = zipOf("初中数学嵌套.zip", { "a.txt", "inner.rar" });
    const QString clean = zipOf("初中数学干净.zip", { "b.txt", "c.txt" });
    QVERIFY(!nested.isEmpty() && !clean.isEmpty());
    auto* given = new MyEditformWidget;
    QVERIFY(given->loadFile(nested, 0));
    delete given;

    MyEditformWidget form;
    QSignalSpy nextSpy(&form, &MyEditformWidget::s_edit_next);
    QVERIFY(form.loadFile(clean, 0));
    QTRY_VERIFY_WITH_TIMEOUT((form.archiveOk && form.checkState == 1) || nextSpy.count() > 0, 60000);
    QCOMPARE(shownTexts(), QStringList());
    QVERIFY(form.archiveWarning.isEmpty());
    QCOMPARE(nextSpy.count(), 0);
}

void TestEditform::cancelDeletesOnlyTmpFiles_data()
{
    QTest::addColumn<bool>("inTmp");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<bool>("deleted");

    QTest::newRow("new file of the tmp directory") << true << false << true;
    QTest::newRow("the author's own file") << false << false << false;
    QTest::newRow("stored record's tmp file") << true << true << false;
}

void TestEditform::cancelDeletesOnlyTmpFiles()
{
    QFETCH(bool, inTmp);
    QFETCH(bool, stored);
    QFETCH(bool, deleted);
    const QString path = inTmp ? MyDAO::tmpDir() + "packed-folder.zip" : kit.dir.filePath("own.pdf");
    writeFile(path, 2048, "cancel me");

    MyEditformWidget form;
    QSignalSpy nextSpy(&form, &MyEditformWidget::s_edit_next);
    if (stored) {
        AssetFormData r = completeRecord(path);
        r.id = 7;
        QVERIFY(form.loadForm(r));
    } else {
        QVERIFY(form.loadFile(path, 0));
    }
    form.cancel();
    QCOMPARE(nextSpy.count(), 1);
    QCOMPARE(QFileInfo::exists(path), !deleted);
    QFile::remove(path);
}

void TestEditform::titleNamingOnlyAStageKeepsTheRest()
{
    // What the file before in the batch had; the next title names the same stage, no subject.
    const AssetFormData first = completeRecord(file("记录.pdf", 2048, "record"));
    AssetFormData stored = first;
    MyEditformWidget form;
    QVERIFY(form.loadForm(stored));
    QVERIFY(form.loadFile(file("初中期末测评卷.pdf", 2048, "next of the batch"), 0));
    QCOMPARE(form.stageSubject()->stage(), first.xueduanid);
    QCOMPARE(form.stageSubject()->subject(), first.chid);
    QCOMPARE(form.formData().chid, first.chid);
    QCOMPARE(form.formData().catid, first.catid);
    QCOMPARE(form.formData().catname_path, first.catname_path);
    QCOMPARE(form.formData().versionid, first.versionid);
    QCOMPARE(form.chapterLabel()->text(), first.catname_path);
}

void TestEditform::fingerprintTakenAgainOnceReadable()
{
    // A folder where the file will be: it cannot be read as a file, so it gets no fingerprint.
    const QString path = kit.dir.filePath("稍后就绪.png");
    QVERIFY(QDir().mkpath(path));
    QVERIFY2(QFileInfo(path).size() >= 1024, "a folder here takes at least 1 KiB");
    MyEditformWidget form;
    QVERIFY(form.loadFile(path, 0));
    QTRY_VERIFY_WITH_TIMEOUT(!form.md5Pending && !form.analysisPending && form.checkState == 1, 20000);
    QVERIFY(form.formData().file_md5.isEmpty());

    // The file is there now: saving takes the fingerprint again, then checks it with the site.
    QVERIFY(QDir(path).removeRecursively());
    const QString md5 = writeFile(path, 2048, "readable now");
    QVERIFY(!form.checkBeforeSave());
    QCOMPARE(shownTexts(), QStringList { "稍后提交，正在解析文档内容..." });
    QTRY_VERIFY_WITH_TIMEOUT(!form.md5Pending && form.checkState == 1, 20000);
    QCOMPARE(form.formData().file_md5, md5);
    QCOMPARE(form.formData().file_size, 2048);
    QFile::remove(path);
}

QTEST_MAIN(TestEditform)
#include "TestEditform.moc"
