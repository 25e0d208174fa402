// A window to look at the upload list as a user does, against a private devsite whose upload
// port is throttled: four records (one of 300 MB, one whose file has gone), all started,
// one paused, one deleted, the detail dialog, then the list built again as after a restart.
// With --shots DIR it saves a screenshot of the whole screen (ImageMagick "import") at each
// step. Not a benchmark: run by hand, e.g. DISPLAY=:42 build-test/bin/ShowProgressList --shots /tmp.

#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"
#include "support/TestFiles.h"
#include "ui/MyProgressItemDetailDialog.h"
#include "ui/MyProgressItemWidget.h"
#include "ui/MyProgressListWidget.h"
#include "upload/MyUploadManager.h"
#include "widgets/MyMsgBox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

QString shotDir;

void pauseFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void shot(const QString& name)
{
    pauseFor(300);
    printf("step: %s\n", qPrintable(name));
    fflush(stdout);
    if (!shotDir.isEmpty())
        QProcess::execute("import", { "-window", "root", shotDir + "/i12-" + name + ".png" });
}

AssetFormData record(const TestFile& f, const QString& title, int stage, int subject, const QString& icon)
{
    AssetFormData form;
    form.subject = title;
    form.types = { { "课件", 11, 1 } };
    form.flag = 6;
    form.xueduanid = stage;
    form.chid = subject;
    form.catid = 7;
    form.catname_path = "七年级上册/第一章 有理数";
    form.versionid = 3;
    form.copyrighttype = 1;
    form.fitprovince = 1;
    form.fitname = "广东省广州市";
    form.stars = 4;
    form.is_filling = true;
    form.file_name = f.name;
    form.file_dir = QFileInfo(f.path).absolutePath();
    form.file_icon = icon;
    form.file_md5 = f.md5;
    form.file_size = f.size;
    form.file_text = "略...";
    return form;
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({ "shots", "save screenshots into this folder", "dir" });
    parser.addOption({ "big-mb", "size of the big file (default 300)", "mb", "300" });
    parser.addOption({ "mbit", "upload rate of the site (default 40)", "mbit", "40" });
    parser.process(app);
    shotDir = parser.value("shots");

    DevsiteFixture site;
    if (!site.start(QString(), { "--throttle-mbit", parser.value("mbit") })) {
        printf("devsite did not start\n");
        return 1;
    }
    site.exportEnv();
    QFile qss(":/resources/vtup.qss");
    if (qss.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(qss.readAll()));
    MyDAO* dao = MyDAO::instance();
    dao->setUid(10001);
    MyUploadManager::instance();

    QTemporaryDir data;
    const qint64 big = parser.value("big-mb").toLongLong() * 1000000;
    const QList<TestFile> files { makeTestFile(data.path(), "期中复习课件.pptx", big, 1),
                                  makeTestFile(data.path(), "第一单元测试卷.docx", 40000000, 2),
                                  makeTestFile(data.path(), "课堂录音.mp3", 30000000, 3),
                                  makeTestFile(data.path(), "已移走的教案.pdf", 2000000, 4) };
    const QStringList titles { "七年级数学上册期中复习课件（人教版）", "初中语文第一单元测试卷", "高中英语听力课堂录音",
                               "小学数学教案" };
    const QList<int> stages { 2, 2, 3, 1 };
    const QList<int> subjects { 2, 1, 3, 2 };
    const QStringList icons { "ppt", "doc", "audio", "pdf" };

    auto window = std::make_unique<QWidget>();
    window->setWindowTitle("上传列表");
    window->resize(1000, 640);
    auto* list = new MyProgressListWidget(window.get());
    list->resize(1000, 640);
    window->show();
    pauseFor(500);

    for (int i = 0; i < files.size(); ++i) {
        AssetFormData form = record(files[i], titles[i], stages[i], subjects[i], icons[i]);
        dao->saveAssetForm(form, false);
    }
    QFile::rename(files[3].path, files[3].path + ".moved");
    shot("1-idle");

    // Hold the workers so that the waiting look stays long enough to be seen.
    dao->lockUploadThread(true);
    list->startAll();
    shot("2-waiting");
    dao->lockUploadThread(false);
    pauseFor(4000);
    shot("3-uploading-and-failed");

    list->row(1)->toggle();
    pauseFor(1500);
    shot("4-one-paused");

    MyMsgBox::setShowHook([](MyMsgBox* box) {
        QTimer::singleShot(0, box, [box]() {
            shot("5-delete-question");
            box->submitButton()->click();
        });
    });
    list->row(2)->askDelete();
    MyMsgBox::setShowHook(nullptr);
    shot("6-after-delete");

    MyProgressItemDetailDialog detail(list->row(0)->form(), window.get());
    QTimer::singleShot(0, &detail, [&detail]() {
        shot("7-detail-dialog");
        detail.close();
    });
    detail.exec();

    // As after a restart: the list and the workers go, a new list restores the rows.
    window.reset();
    MyUploadManager::instance()->stopAll();
    MyUploadManager::instance()->createWorkers();
    window = std::make_unique<QWidget>();
    window->setWindowTitle("上传列表（重新启动后）");
    window->resize(1000, 640);
    list = new MyProgressListWidget(window.get());
    list->resize(1000, 640);
    window->show();
    pauseFor(1500);
    shot("8-restored");
    for (int i = 0; i < list->rowCount(); ++i)
        printf("restored row %d: %s, %lld of %lld bytes\n", i, qPrintable(list->row(i)->form().subject),
               list->row(i)->job().file_size_loaded, list->row(i)->job().file_size);
    window.reset();
    MyUploadManager::instance()->stopAll();
    return 0;
}
