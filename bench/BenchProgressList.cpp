// Upload list with many restored rows: time from the pending list's arrival
// (MyDAO::s_uplist_fromdb) to the first painted list, the cost of one scroll frame, and the
// memory the rows take. Run by scripts/bench; prints figures, asserts nothing.

#include "net/MyDAO.h"
#include "ui/MyProgressItemWidget.h"
#include "ui/MyProgressListWidget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

long rssKb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void insertAssets(MyDAO* dao, int count, int textBytes)
{
    // One save is one transaction of its own (the record with its types), as the form saves it.
    const QString text = QString("略").repeated(textBytes / 3);
    for (int i = 0; i < count; ++i) {
        AssetFormData form;
        form.subject = QString("七年级数学上册第%1课时 课件与教案（含练习）").arg(i);
        form.types = { { "课件", 11, 1 }, { "教案", 12, 1 } };
        form.xueduanid = 1 + i % 3;
        form.chid = 1 + i % 9;
        form.catid = 7;
        form.versionid = 3;
        form.fitprovince = 1;
        form.is_filling = true;
        form.file_name = QString("lesson-%1.pptx").arg(i);
        form.file_dir = "/home/author/资料";
        form.file_icon = "ppt";
        form.file_md5 = QString("%1").arg(i, 32, 16, QChar('0'));
        form.file_size = 3000000 + i * 7919;
        form.file_size_loaded = (i % 4) * 1048576;
        form.file_text = text;
        dao->saveAssetForm(form, false);
    }
}

struct Frames
{
    double mean = 0, p95 = 0, max = 0;
};

Frames frameStats(QVector<double> ms)
{
    Frames f;
    if (ms.isEmpty())
        return f;
    std::sort(ms.begin(), ms.end());
    for (double v : ms)
        f.mean += v;
    f.mean /= ms.size();
    f.p95 = ms.at(int(ms.size() * 0.95) - (ms.size() * 0.95 == int(ms.size() * 0.95) ? 1 : 0));
    f.max = ms.last();
    return f;
}

} // namespace

int main(int argc, char* argv[])
{
    // Never the user's own settings, database or logs; no website is needed.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("VANTREL_WEBSITE_URL", "https://127.0.0.1:9");
    qputenv("VANTREL_ACCOUNT_URL", "https://127.0.0.1:9");

    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({ "rows", "restored records (default 1000)", "n", "1000" });
    parser.addOption({ "text-kb", "extracted text per record in KiB (default 2)", "kb", "2" });
    parser.process(app);
    const int count = parser.value("rows").toInt();
    const int textKb = parser.value("text-kb").toInt();

    QFile qss(":/resources/vtup.qss");
    if (qss.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(qss.readAll()));

    MyDAO::setReferenceFetchLimitMs(500);
    MyDAO* dao = MyDAO::instance();
    dao->setUid(4242);
    QElapsedTimer clock;
    clock.start();
    insertAssets(dao, count, textKb * 1024);
    printf("rows: %d records, %d KiB of text each, inserted in %lld ms\n", count, textKb, clock.elapsed());

    const long rssBefore = rssKb();
    qint64 loadStart = -1, arrived = -1, painted = -1;
    QObject::connect(
        dao, &MyDAO::s_uplist_fromdb, dao, [&](QList<AssetFormData>) { arrived = clock.nsecsElapsed(); },
        Qt::DirectConnection);

    QWidget window;
    window.resize(1000, 700);
    loadStart = clock.nsecsElapsed();
    auto* list = new MyProgressListWidget(&window);
    list->resize(1000, 700);
    QWidget* viewport = list->listView()->viewport();
    struct PaintWatch : QObject
    {
        std::function<void()> onPaint;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint && onPaint)
                QTimer::singleShot(0, onPaint); // after this frame has been painted
            return false;
        }
    } watch;
    QEventLoop loop;
    watch.onPaint = [&]() {
        if (painted < 0 && list->rowCount() == count) {
            painted = clock.nsecsElapsed();
            loop.quit();
        }
    };
    viewport->installEventFilter(&watch);
    window.show();
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    viewport->removeEventFilter(&watch);
    if (painted < 0 || arrived < 0) {
        printf("the list was not painted with %d rows\n", count);
        return 1;
    }
    const long rssShown = rssKb();
    int built = 0;
    for (int i = 0; i < list->rowCount(); ++i)
        built += list->row(i)->isBuilt() ? 1 : 0;
    printf("restore: pending list loaded in %.1f ms (thread start to s_uplist_fromdb)\n", (arrived - loadStart) / 1e6);
    printf("restore: s_uplist_fromdb -> first painted list: %.1f ms (%d rows, %d built as widgets)\n",
           (painted - arrived) / 1e6, list->rowCount(), built);

    // Scrolling: one frame per step of one row, top to bottom, each painted at once.
    QScrollBar* bar = list->listView()->verticalScrollBar();
    QVector<double> frames;
    QElapsedTimer frame;
    for (int value = 0; value <= bar->maximum(); value += 58) {
        frame.start();
        bar->setValue(value);
        viewport->repaint();
        QCoreApplication::processEvents();
        frames << frame.nsecsElapsed() / 1e6;
    }
    const Frames step = frameStats(frames);
    printf("scroll by one row (58 px), %d frames: mean %.2f ms, p95 %.2f ms, max %.2f ms\n", int(frames.size()),
           step.mean, step.p95, step.max);
    frames.clear();
    for (int value = bar->maximum(); value >= 0; value -= 580) {
        frame.start();
        bar->setValue(value);
        viewport->repaint();
        QCoreApplication::processEvents();
        frames << frame.nsecsElapsed() / 1e6;
    }
    const Frames page = frameStats(frames);
    printf("scroll back by ten rows, rows already built, %d frames: mean %.2f ms, p95 %.2f ms, max %.2f ms\n",
           int(frames.size()), page.mean, page.p95, page.max);

    const long rssScrolled = rssKb();

    // For comparison: what building every row at once costs.
    MyProgressListWidget eager;
    QElapsedTimer waited;
    waited.start();
    while (eager.rowCount() < count && waited.elapsed() < 30000) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    clock.restart();
    for (int i = 0; i < eager.rowCount(); ++i)
        eager.row(i)->ensureBuilt();
    eager.resize(1000, 700);
    eager.show();
    QCoreApplication::processEvents();
    printf("for comparison: building all %d rows as widgets and showing them: %lld ms\n", eager.rowCount(),
           clock.elapsed());

    printf("RSS: %ld MiB before the list, %ld MiB with the list painted, %ld MiB after scrolling through it "
           "(every row built)\n",
           rssBefore / 1024, rssShown / 1024, rssScrolled / 1024);
    return 0;
}
