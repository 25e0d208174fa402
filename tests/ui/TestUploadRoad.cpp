// The whole road of an upload, as the author takes it: files dropped on the upload page,
// the forms analyse them and are filled and saved with "上传", the workers send the bytes,
// the submission follows and the rows disappear. Real windows (offscreen), the real devsite,
// the real 7-Zip and text converter; what arrived is read from devsite's admin API.

#include "form/FormTestKit.h"
#include "form/MyAssetTypeDialog.h"
#include "form/MyChapterTreeDialog.h"
#include "form/MyEditformWidget.h"
#include "form/MyLinkDistrictWidget.h"
#include "form/XdChidItemWidgets.h"
#include "intake/IntakeTestKit.h"
#include "net/Endpoints.h"
#include "ui/MyAssetUpload.h"
#include "ui/MyBtnformWidget.h"
#include "ui/MyProgressItemWidget.h"
#include "ui/MyProgressListWidget.h"
#include "ui/UploadIntake.h"
#include "upload/MyUploadManager.h"

#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QUrlQuery>

namespace {

const int WAIT = qEnvironmentVariableIntValue("ROAD_WAIT") > 0 ? qEnvironmentVariableIntValue("ROAD_WAIT")
                                                               : 90000; // sanitizer builds on a shared machine
const char* const SUBMIT = "/toolupload/asset/asset-submit";
const char* const CHECK = "/toolupload/asset/subset-check";

QString md5Of(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&f);
    return QString::fromLatin1(hash.result().toHex());
}

// Distinct, incompressible-enough bytes, so every file has its own MD5 and is over 1 KiB.
QByteArray bytesFor(const QString& name, int size = 6000)
{
    QByteArray out;
    for (int i = 0; out.size() < size; ++i)
        out += QCryptographicHash::hash(name.toUtf8() + QByteArray::number(i), QCryptographicHash::Sha256);
    return out.left(size);
}

QByteArray docx(const QString& text)
{
    const QByteArray xml
        = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document "
          "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body><w:p><w:r><w:t>"
        + text.toUtf8() + "</w:t></w:r></w:p></w:body></w:document>";
    // Padding keeps the document over the 1 KiB floor.
    return intaketest::storedZip({ { "word/document.xml", xml }, { "word/pad.bin", bytesFor(text, 3000) } });
}

int scalar(const QString& sql)
{
    QSqlQuery q(QSqlDatabase::database("sqlite3Connection"));
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
}

// The keys of a JSON object text in the order they appear at its top level.
QStringList topLevelKeys(const QByteArray& json)
{
    QStringList keys;
    int depth = 0;
    bool inString = false;
    int start = -1;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"') {
                inString = false;
                if (depth == 1 && i + 1 < json.size() && json[i + 1] == ':')
                    keys << QString::fromUtf8(json.mid(start, i - start));
            }
        } else if (c == '"') {
            inString = true;
            start = i + 1;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return keys;
}

} // namespace

class TestUploadRoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void documentFolderAndZipBecomeResources();
    void knownFileRefusedBeforeAnyPiece();
    void failedFingerprintCheckKeepsTheFile();
    void refusedSubmissionShownOnRowThenAcceptedOnNewStart();

private:
    void drop(const QStringList& paths);
    MyEditformWidget* analysedForm(const QString& fileName);
    void fill(MyEditformWidget* form);
    void saveWithUpload(MyEditformWidget* form);
    QList<MyProgressItemWidget*> rows() const;

    DevsiteFixture site;
    QTemporaryDir dir;
    MyAssetUpload* page = nullptr;
    bool filled = false;
    int submittedBefore = 0;
};

void TestUploadRoad::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(startSiteAndLogin(site));
    MyUploadManager::instance(); // the five workers, as the main window starts them
    page = new MyAssetUpload();
    page->resize(1100, 760);
    page->show();
}

void TestUploadRoad::init()
{
    QVERIFY(site.reset());
    MyMsgBox::clearShown();
    filled = false; // every batch starts a new form
    submittedBefore = site.submissions().size();
}

void TestUploadRoad::cleanupTestCase()
{
    delete page;
    MyUploadManager::instance()->stopAll();
}

void TestUploadRoad::drop(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    QMimeData data;
    data.setUrls(urls);
    // What the panel's drop handler does with the dropped URLs (packing folders with 7-Zip).
    const QStringList accepted = acceptDroppedFiles(&data, "上传文件格式不支持", page);
    QVERIFY(!accepted.isEmpty());
    emit page->emptyPanel()->s_back_2_editform(accepted);
}

// The form once it has loaded `fileName` (or the zip a folder of that name was packed
// into) and finished analysing it.
MyEditformWidget* TestUploadRoad::analysedForm(const QString& fileName)
{
    MyEditformWidget* form = nullptr;
    const bool ready = QTest::qWaitFor(
        [&] {
            form = page->editForm();
            return form && page->currentWidget() == form && form->formData().file_name.startsWith(fileName)
                && !form->md5Pending && !form->analysisPending && form->checkState == 1;
        },
        WAIT);
    if (!ready) {
        form = page->editForm();
        qWarning() << "form not ready:" << fileName << (form ? form->formData().file_name : QString("none"))
                   << (form ? form->md5Pending : -1) << (form ? form->analysisPending : -1)
                   << (form ? form->checkState : -1) << shownTexts();
    }
    return ready ? form : nullptr;
}

// What the author sets on the first form of a batch; the next forms keep it.
void TestUploadRoad::fill(MyEditformWidget* form)
{
    if (filled)
        return;
    form->stageSubject()->setValue(2, 2);
    form->typeDialog()->checkTypes({ AssetTypeItem { "试题试卷/期中/期末试卷", 703, 7 } });
    form->typeDialog()->confirm();
    QVERIFY(!form->selectedTypes().isEmpty());

    // "选择栏目" runs the chapter dialog modally: pick the first last-level chapter.
    QTimer pick;
    pick.setInterval(50);
    connect(&pick, &QTimer::timeout, this, [&]() {
        auto* dialog = qobject_cast<MyChapterTreeDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->isLoading())
            return;
        for (QTreeWidgetItemIterator it(dialog->tree()); *it; ++it) {
            if ((*it)->data(0, MyChapterTreeDialog::ChildRole).toString() == "0") {
                dialog->tree()->setCurrentItem(*it);
                (*it)->setSelected(true);
                pick.stop();
                dialog->confirm();
                return;
            }
        }
    });
    pick.start();
    form->findChild<QPushButton*>("select_category_btn")->click();
    QVERIFY(form->formData().catid != 0);

    // A chapter tied to a textbook version fixes it; otherwise pick the first one offered.
    QVERIFY(
        QTest::qWaitFor([&] { return form->versionLabel()->isVisible() || form->versionCombo()->count() > 1; }, WAIT));
    if (!form->versionLabel()->isVisible())
        form->versionCombo()->setCurrentIndex(1);
    form->districtWidget()->setRegion(0, -1, -1, "全国");
    QVERIFY(QTest::qWaitFor([&] { return form->districtWidget()->region().province == 0; }, WAIT));
    filled = true;
}

void TestUploadRoad::saveWithUpload(MyEditformWidget* form)
{
    const int before = MyMsgBox::shownBoxes().size();
    form->findChild<QPushButton*>("upload_btn")->click();
    QCOMPARE(MyMsgBox::shownBoxes().mid(before).size(), 0);
}

QList<MyProgressItemWidget*> TestUploadRoad::rows() const
{
    return page->progressList()->findChildren<MyProgressItemWidget*>();
}

void TestUploadRoad::documentFolderAndZipBecomeResources()
{
    const QString doc = dir.filePath("lesson-notes.docx");
    QVERIFY(intaketest::writeFile(doc, docx("三角形内角和定理的证明与练习，鹦鹉螺编号一")));
    const QString folder = dir.filePath("lesson-pack");
    QVERIFY(intaketest::writeFile(folder + "/sheet.pdf", bytesFor("sheet")));
    QVERIFY(intaketest::writeFile(folder + "/notes.pdf", bytesFor("notes")));
    const QString zipSource = dir.filePath("zipsrc");
    QVERIFY(intaketest::writeFile(zipSource + "/answers.pdf", bytesFor("answers")));
    const QString zip = dir.filePath("lesson-set.zip");
    QVERIFY(!intaketest::sevenZip({ "a", "-tzip", zip, "answers.pdf" }, zipSource).isEmpty());

    drop({ doc, folder, zip });
    QStringList names;
    QStringList paths;
    // A packed folder and a repacked archive get working names of their own.
    for (const QString& name : QStringList { "lesson-notes", "", "" }) {
        MyEditformWidget* form = analysedForm(name);
        QVERIFY2(form, qPrintable(name));
        fill(form);
        names << form->formData().subject;
        paths << form->formData().file_path;
        saveWithUpload(form);
    }
    QVERIFY(!page->isEditing());

    QTRY_COMPARE_WITH_TIMEOUT(site.submissions().size() - submittedBefore, 3, WAIT);
    QTRY_COMPARE_WITH_TIMEOUT(page->progressList()->rowCount(), 0, WAIT);
    QCOMPARE(scalar("SELECT COUNT(*) FROM assets WHERE deleted_time IS NULL"), 0);
    QCOMPARE(scalar("SELECT COUNT(*) FROM assets WHERE deleted_time IS NOT NULL"), 3);

    const QJsonArray uploads = site.uploads();
    const QJsonArray sent = site.requests(SUBMIT);
    QCOMPARE(sent.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QByteArray raw = sent.at(i).toObject().value("body").toString().toUtf8();
        QCOMPARE(
            topLevelKeys(raw),
            QStringList({ "_id",       "catid",    "catpath",     "xueduanid", "chid",    "copyrighttype", "flag",
                          "stars",     "softsize", "fitprovince", "fitcity",   "fitdist", "subject",       "filename",
                          "versionid", "file_md5", "uploadurl",   "intro",     "typeid",  "typeidroot" }));
        const QJsonObject body = QJsonDocument::fromJson(raw).object();
        const int at = names.indexOf(body.value("subject").toString());
        QVERIFY2(at >= 0, raw.constData());
        // The uploaded bytes: complete, with the file's MD5, under the name the body gives.
        const QString local = QFile::exists(paths[at]) ? paths[at] : paths[at] + ".tempfile";
        const QString md5 = md5Of(local);
        QCOMPARE(body.value("file_md5").toString(), md5);
        QCOMPARE(qint64(body.value("softsize").toDouble()), QFileInfo(local).size());
        bool found = false;
        for (const QJsonValue& v : uploads) {
            const QJsonObject u = v.toObject();
            if (u.value("save_as").toString() != body.value("uploadurl").toString())
                continue;
            found = true;
            QVERIFY(u.value("complete").toBool());
            QCOMPARE(u.value("md5").toString(), md5);
        }
        QVERIFY2(found, qPrintable(body.value("uploadurl").toString()));
        QCOMPARE(body.value("fitprovince").toInt(), 0);
        QCOMPARE(body.value("fitcity").toInt(), 0);
        QCOMPARE(body.value("fitdist").toInt(), 0);
        QCOMPARE(body.value("typeid").toArray(), QJsonArray({ 703 }));
        if (at == 0)
            QVERIFY(body.value("intro").toString().contains("三角形内角和定理"));
        else
            QCOMPARE(body.value("intro").toString(), QString()); // archives send no text
    }
    // Packed and repacked working files are marked for the tmp clean-up.
    QVERIFY(QFile::exists(paths[1] + ".tempfile"));

    // The site lists them among the resources awaiting review.
    QJsonObject list;
    QUrlQuery query;
    query.addQueryItem("flag", "5,6,15");
    query.addQueryItem("page", "1");
    MyDAO::instance()->httpGet(URL_ASSET, query, [&](QJsonObject& reply) { list = reply; });
    QTRY_VERIFY_WITH_TIMEOUT(!list.isEmpty(), WAIT);
    QStringList listed;
    for (const QJsonValue& v : list.value("data").toArray())
        listed << v.toObject().value("subject").toString();
    for (const QString& name : names)
        QVERIFY2(listed.contains(name), qPrintable(name));
}

void TestUploadRoad::knownFileRefusedBeforeAnyPiece()
{
    const QString path = dir.filePath("already-there.pdf");
    QVERIFY(intaketest::writeFile(path, bytesFor("already-there")));
    const QString md5 = md5Of(path);
    QVERIFY(site.admin("POST", "/__devsite/known-md5", { { "md5", md5 } }).object().value("ok").toBool());

    drop({ path });
    QTRY_VERIFY_WITH_TIMEOUT(shownTexts().contains("服务器已有相同资源，不允许重复上传"), WAIT);
    QTRY_VERIFY_WITH_TIMEOUT(!page->isEditing(), WAIT); // skipped: the batch had nothing else
    QCOMPARE(scalar(QString("SELECT COUNT(*) FROM assets WHERE file_md5='%1'").arg(md5)), 0);
    for (const QJsonValue& v : site.requests("/upload/"))
        QVERIFY(!v.toObject().value("headers").toObject().value("Session-ID").toString().startsWith(md5));
    QCOMPARE(site.requests(SUBMIT).size(), 0);
}

void TestUploadRoad::failedFingerprintCheckKeepsTheFile()
{
    const QString path = dir.filePath("network-trouble.pdf");
    QVERIFY(intaketest::writeFile(path, bytesFor("network-trouble")));
    QVERIFY(site.fault({ { "path", CHECK }, { "status", 500 } }));

    drop({ path });
    QTRY_VERIFY_WITH_TIMEOUT(!shownTexts().filter("资源查重失败").isEmpty(), WAIT);
    QVERIFY(!shownTexts().contains("服务器已有相同资源，不允许重复上传"));
    MyEditformWidget* form = page->editForm();
    QVERIFY(form && page->isEditing());
    QCOMPARE(form->formData().file_path, QFileInfo(path).absoluteFilePath()); // not skipped

    // Saving asks the site again; once it has answered, the save goes through.
    MyMsgBox::clearShown();
    form->findChild<QPushButton*>("upload_btn")->click();
    QTRY_COMPARE_WITH_TIMEOUT(site.requests(CHECK).size(), 2, WAIT); // the request leaves asynchronously
    form = analysedForm("network-trouble");
    QVERIFY(form);
    fill(form);
    saveWithUpload(form);
    QTRY_COMPARE_WITH_TIMEOUT(site.submissions().size() - submittedBefore, 1, WAIT);
    QTRY_COMPARE_WITH_TIMEOUT(page->progressList()->rowCount(), 0, WAIT);
}

void TestUploadRoad::refusedSubmissionShownOnRowThenAcceptedOnNewStart()
{
    const QString path = dir.filePath("refused-once.pdf");
    QVERIFY(intaketest::writeFile(path, bytesFor("refused-once")));
    const QString body = QString::fromUtf8(
        QJsonDocument(QJsonObject { { "errcode", 0 }, { "code", 1 }, { "msg", "栏目暂停投稿" } }).toJson());
    QVERIFY(site.fault({ { "path", SUBMIT }, { "body", body } }));

    drop({ path });
    MyEditformWidget* form = analysedForm("refused-once");
    QVERIFY(form);
    fill(form);
    saveWithUpload(form);

    QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 1, WAIT);
    MyProgressItemWidget* row = rows().first();
    QTRY_COMPARE_WITH_TIMEOUT(row->look(), MyProgressItemWidget::Look::Failed, WAIT);
    QCOMPARE(row->rateText(), QString("栏目暂停投稿"));
    QCOMPARE(row->job().file_size_loaded, row->form().file_size); // the bar is full
    QCOMPARE(site.submissions().size() - submittedBefore, 0);
    const int pieces = site.requests("/upload/").size();
    QCOMPARE(scalar(QString("SELECT COUNT(*) FROM assets WHERE id=%1 AND deleted_time IS NULL").arg(row->form().id)),
             1);

    // A new start sends the submission again, not the bytes; the row goes once accepted.
    row->ensureBuilt();
    row->startButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(site.submissions().size() - submittedBefore, 1, WAIT);
    QTRY_COMPARE_WITH_TIMEOUT(page->progressList()->rowCount(), 0, WAIT);
    QCOMPARE(site.requests("/upload/").size(), pieces);
    QCOMPARE(site.requests(SUBMIT).size(), 2);
}

QTEST_MAIN(TestUploadRoad)
#include "TestUploadRoad.moc"
