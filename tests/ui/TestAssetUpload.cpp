#include "form/FormTestKit.h"
#include "form/MyAssetTypeDialog.h"
#include "form/MyChapterTreeDialog.h"
#include "form/MyEditformWidget.h"
#include "form/MyLinkDistrictWidget.h"
#include "form/XdChidItemWidgets.h"
#include "support/HeldBox.h"
#include "ui/MyAssetUpload.h"
#include "ui/MyBtnformWidget.h"
#include "ui/MyProgressListWidget.h"
#include "ui/UploadIntake.h"
#include "widgets/MyBreadWidget.h"

#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

namespace {

// Answers the chapter dialog once it runs: selects the first leaf below `top` and confirms.
void answerChapterDialog(MyChapterTreeDialog* dialog, const QString& top)
{
    auto* timer = new QTimer(dialog);
    QObject::connect(timer, &QTimer::timeout, dialog, [dialog, timer, top] {
        if (!dialog->isVisible())
            return;
        QTreeWidgetItem* item = nullptr;
        for (int i = 0; i < dialog->tree()->topLevelItemCount(); ++i) {
            if (dialog->tree()->topLevelItem(i)->text(0) == top)
                item = dialog->tree()->topLevelItem(i);
        }
        if (!item)
            return;
        while (item->childCount())
            item = item->child(0);
        timer->stop();
        timer->deleteLater();
        dialog->tree()->setCurrentItem(item);
        dialog->confirm();
    });
    timer->start(20);
}

QPushButton* button(QWidget* w, const char* name)
{
    return w->findChild<QPushButton*>(name);
}

bool analysed(MyEditformWidget* f)
{
    return f && f->checkState == 1 && !f->md5Pending && !f->analysisPending;
}

} // namespace

class TestAssetUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.start(); }
    void init() { MyMsgBox::clearShown(); }

    void batchCarriesValuesAndSkipsSmallFile();
    void dropOfNothingUsable();
    void storedRecordOpensForEditing();
    void batchEndsUnderAnOpenBox();

private:
    FormTestFixture kit;
};

void TestAssetUpload::batchCarriesValuesAndSkipsSmallFile()
{
    MyAssetUpload page;
    QCOMPARE(page.currentWidget(), static_cast<QWidget*>(page.emptyPanel()));
    QVERIFY(page.emptyPanel()->helpBox()->toPlainText().contains("上传说明"));

    const QString first = kit.dir.filePath("初中数学第一课时.pdf");
    const QString tiny = kit.dir.filePath("初中数学小文件.pdf");
    const QString third = kit.dir.filePath("初中数学第二课时.pdf");
    const QString firstMd5 = writeFile(first, 5000, "first lesson");
    writeFile(tiny, 1023, "tiny");
    const QString thirdMd5 = writeFile(third, 1024, "second lesson");

    QList<AssetFormData> saved;
    QMetaObject::Connection c
        = connect(MyDAO::instance(), &MyDAO::s_submit_fileform_ok, [&saved](AssetFormData& f) { saved.append(f); });
    QSignalSpy started(MyDAO::instance(), &MyDAO::s_start_upload);

    answerNextFileDialog({ first, tiny, third });
    button(page.emptyPanel(), "quick_btn")->click();
    QVERIFY(page.isEditing());
    MyEditformWidget* form = page.editForm();
    QVERIFY(form);
    QCOMPARE(page.currentWidget(), static_cast<QWidget*>(form));
    QCOMPARE(MyDAO::instance()->settings()->value("LastSelectDirPath").toString(), QFileInfo(first).absolutePath());
    QCOMPARE(form->findChild<QLabel*>("anymore_tip")->text(), QString("剩余2份资料待编辑"));

    // Describe the first file.
    QCOMPARE(form->stageSubject()->stage(), 2);
    QCOMPARE(form->stageSubject()->subject(), 2);
    MyAssetTypeDialog* types = form->typeDialog();
    types->checkTypes({ AssetTypeItem { QString(), 701, 7 } });
    types->confirm();
    QCOMPARE(form->selectedTypes().size(), 1);
    QCOMPARE(form->findChildren<QWidget*>("category_item").size(), 1);
    answerChapterDialog(form->chapterDialog(), "北师大版");
    button(form, "select_category_btn")->click();
    // A chapter of a textbook fixes the version: the combo gives way to the version's name.
    QTRY_VERIFY_WITH_TIMEOUT(!form->versionLabel()->isHidden(), 20000);
    QCOMPARE(form->versionLabel()->text(), QString("北师大版"));
    QVERIFY(form->versionCombo()->isHidden());
    QVERIFY(form->chapterLabel()->text().startsWith("北师大版>"));
    form->districtWidget()->setRegion(32, 3201, -1);
    QTRY_COMPARE_WITH_TIMEOUT(form->districtWidget()->region().city, 3201, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(analysed(form), 20000);
    button(form, "save_btn")->click();

    // The small file is refused and the third one loaded into the same form with the choices kept.
    QCOMPARE(shownTexts(), QStringList { "选择的资源小于1KB，无效资源！" });
    QCOMPARE(page.editForm(), form);
    QCOMPARE(form->formData().file_name, QString("初中数学第二课时.pdf"));
    QCOMPARE(form->formData().id, 0);
    QVERIFY(form->findChild<QLabel*>("anymore_tip")->isHidden());
    QCOMPARE(form->selectedTypes().size(), 1);
    QCOMPARE(form->formData().catid, saved.value(0).catid);
    QCOMPARE(form->versionLabel()->text(), QString("北师大版"));
    QTRY_COMPARE_WITH_TIMEOUT(form->districtWidget()->region().city, 3201, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(analysed(form), 20000);
    button(form, "upload_btn")->click();

    QVERIFY(!page.isEditing());
    QVERIFY(page.editForm() == nullptr);
    QCOMPARE(saved.size(), 2);
    QCOMPARE(started.count(), 1);
    QCOMPARE(started.at(0).at(1).toInt(), saved.at(1).id);
    disconnect(c);

    // What was saved is what the store reads back.
    const QStringList md5s { firstMd5, thirdMd5 };
    for (int i = 0; i < 2; ++i) {
        AssetFormData row;
        QVERIFY(MyDAO::instance()->loadAsset(saved.at(i).id, row));
        QCOMPARE(row.file_md5, md5s.at(i));
        QCOMPARE(row.subject, QFileInfo(i ? third : first).completeBaseName());
        QCOMPARE(row.types.size(), 1);
        QCOMPARE(row.types.first().typeid_, 701);
        QCOMPARE(row.types.first().typeidroot, 7);
        QCOMPARE(row.flag, 5);
        QCOMPARE(row.xueduanid, 2);
        QCOMPARE(row.chid, 2);
        QCOMPARE(row.catid, saved.at(0).catid);
        QCOMPARE(row.catpath, saved.at(0).catpath);
        QCOMPARE(row.versionid, 2);
        QCOMPARE(row.bookversionid, 2);
        QCOMPARE(row.copyrighttype, 3);
        QCOMPARE(row.fitprovince, 32);
        QCOMPARE(row.fitcity, 3201);
        QCOMPARE(row.fitdist, -1);
        QCOMPARE(row.fitname, QString("江苏省南京市"));
        QCOMPARE(row.file_size, i ? 1024 : 5000);
    }
    QVERIFY(saved.at(0).id != saved.at(1).id);
}

void TestAssetUpload::dropOfNothingUsable()
{
    MyAssetUpload page;
    QSignalSpy batch(page.emptyPanel(), &MyBtnformWidget::s_back_2_editform);
    const QString program = kit.dir.filePath("setup.exe");
    writeFile(program, 4096, "MZ");
    QMimeData data;
    data.setUrls({ QUrl::fromLocalFile(program) });
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    // Straight to the widget: without a drag in progress the application would not route it.
    static_cast<QObject*>(page.emptyPanel())->event(&drop);
    QCOMPARE(batch.count(), 0);
    QCOMPARE(shownTexts(), QStringList { "上传文件格式不支持" });
    QVERIFY(!page.isEditing());
}

void TestAssetUpload::storedRecordOpensForEditing()
{
    const QString path = kit.dir.filePath("高一物理必修.pdf");
    AssetFormData record;
    record.file_path = path;
    record.file_name = QFileInfo(path).fileName();
    record.file_dir = kit.dir.path();
    record.file_size = 2048;
    record.file_md5 = writeFile(path, 2048, "stored");
    record.subject = "高一物理必修";
    record.xueduanid = 3;
    record.chid = 4;
    record.copyrighttype = 2;
    QVERIFY(MyDAO::instance()->saveAssetForm(record, false));

    MyAssetUpload page;
    emit MyDAO::instance()->s_show_or_edit(record.id, false);
    QVERIFY(page.isEditing());
    QCOMPARE(page.editForm()->formData().id, record.id);
    QCOMPARE(page.editForm()->findChild<QLineEdit*>("asset_title_input")->text(), QString("高一物理必修"));
    QCOMPARE(page.editForm()->stageSubject()->subject(), 4);

    // The breadcrumb asks before going back.
    MyMsgBox::answerNext(MyMsgBox::PressSubmit);
    page.editForm()->findChild<MyBreadWidget*>()->backButton()->click();
    QCOMPARE(shownTexts(), QStringList { "确定退出编辑吗？" });
    QVERIFY(!page.isEditing());
    QVERIFY(page.editForm() == nullptr);
    QWidget* expected = page.progressList()->rowCount() > 0 ? static_cast<QWidget*>(page.progressList())
                                                            : static_cast<QWidget*>(page.emptyPanel());
    QCOMPARE(page.currentWidget(), expected);
}

void TestAssetUpload::batchEndsUnderAnOpenBox()
{
    // The site has the file, but its first answer about it fails: saving asks again and says so
    // in a box, and the answer lands while that box is open and ends the batch under it.
    const QString path = kit.dir.filePath("初中数学已有的.pdf");
    const QString md5 = writeFile(path, 3000, "already on the site, asked twice");
    QVERIFY(!kit.site.admin("POST", "/__devsite/known-md5", QJsonObject { { "md5", md5 } }).isNull());
    QVERIFY(kit.site.fault({ { "path", "/toolupload/asset/subset-check" }, { "count", 1 }, { "status", 500 } }));

    MyAssetUpload page;
    answerNextFileDialog({ path });
    button(page.emptyPanel(), "quick_btn")->click();
    QPointer<MyEditformWidget> form = page.editForm();
    QVERIFY(form);
    QTRY_VERIFY_WITH_TIMEOUT(form->checkFailed, 20000);
    MyMsgBox::clearShown();

    const QString known = "服务器已有相同资源，不允许重复上传";
    HeldBox boxes;
    boxes.onBox(known, HeldBox::press);
    button(form, "save_btn")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!form, 20000);
    QVERIFY(boxes.stepsDone());
    QVERIFY(!page.isEditing());
    QCOMPARE(shownTexts(), (QStringList { "正在重新向服务器查重，请稍后再保存", known }));
    // The first box closed by itself once the form it spoke for was on its way out.
    QCOMPARE(MyMsgBox::shownBoxes().at(0).result, int(MyMsgBox::Abandoned));
    for (const AssetFormData& a : MyDAO::instance()->loadPendingAssets())
        QVERIFY(a.file_md5 != md5);
}

QTEST_MAIN(TestAssetUpload)
#include "TestAssetUpload.moc"
