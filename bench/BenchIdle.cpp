// The logged-in client doing nothing, and the client asked to start: how often its threads
// wake and how much CPU they take while idle (from /proc, all threads of the process), and
// the time from a click on "全部开始" to the first byte of the first piece on the wire. Run by
// scripts/bench; prints figures, asserts nothing.
//
// The client is the main window after a real login against a private devsite, with its five
// upload workers and its upload list; the pieces go to a small sink on a thread of this
// process that notes when the first byte of each request arrives.

#include "app/MainWindow.h"
#include "net/Endpoints.h"
#include "net/LoginFormData.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"
#include "ui/MyProgressListWidget.h"
#include "upload/MyUploadManager.h"
#include "widgets/MyMsgBox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

qint64 monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Context switches and CPU ticks of every thread of this process, by thread name.
struct ThreadCounts
{
    QMap<QString, qint64> switches; // name (and id) -> voluntary + involuntary
    qint64 ticks = 0; // utime + stime of the whole process
};

qint64 field(const QByteArray& status, const char* name)
{
    const int at = status.indexOf(name);
    if (at < 0)
        return 0;
    const int end = status.indexOf('\n', at);
    return status.mid(at + int(qstrlen(name)), end - at - int(qstrlen(name))).trimmed().toLongLong();
}

ThreadCounts readCounts()
{
    ThreadCounts out;
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status("/proc/self/task/" + task + "/status");
        QFile comm("/proc/self/task/" + task + "/comm");
        if (!status.open(QIODevice::ReadOnly) || !comm.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = status.readAll();
        const QString name = QString::fromUtf8(comm.readAll().trimmed()) + "/" + task;
        out.switches.insert(name, field(s, "voluntary_ctxt_switches:") + field(s, "nonvoluntary_ctxt_switches:"));
    }
    QFile stat("/proc/self/stat");
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray s = stat.readAll();
        // After the command name in parentheses: fields 3.. ; utime and stime are 14 and 15.
        const QList<QByteArray> f = s.mid(s.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 12)
            out.ticks = f.at(11).toLongLong() + f.at(12).toLongLong();
    }
    return out;
}

// Answers every upload request with 200 and notes when the first byte of each arrived.
class FirstByteSink
{
public:
    FirstByteSink()
    {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(fd, 8);
        socklen_t len = sizeof addr;
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
        worker = std::thread([this]() { serve(); });
    }
    ~FirstByteSink()
    {
        shutdown(fd, SHUT_RDWR);
        close(fd);
        worker.join();
    }
    int port = 0;
    std::atomic<qint64> firstByteNs { 0 };

private:
    void serve()
    {
        for (;;) {
            const int c = accept(fd, nullptr, nullptr);
            if (c < 0)
                return;
            std::thread([this, c]() { answer(c); }).detach();
        }
    }
    void answer(int c)
    {
        QByteArray in;
        char buf[65536];
        for (;;) {
            const ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            if (in.isEmpty()) {
                qint64 none = 0;
                firstByteNs.compare_exchange_strong(none, monotonicNs());
            }
            in.append(buf, int(n));
            const int head = in.indexOf("\r\n\r\n");
            if (head < 0)
                continue;
            const int at = in.toLower().indexOf("content-length:");
            const qint64 length = at < 0 ? 0 : in.mid(at + 15, in.indexOf('\r', at) - at - 15).trimmed().toLongLong();
            if (in.size() - head - 4 < length)
                continue;
            const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            send(c, reply, sizeof reply - 1, MSG_NOSIGNAL);
            break;
        }
        close(c);
    }

    int fd = -1;
    std::thread worker;
};

bool login(MyDAO* dao)
{
    LoginFormData form;
    form.username = "demo_teacher";
    form.password = "demo1234";
    QEventLoop loop;
    bool ok = false;
    dao->login(form, [&](QJsonObject& reply) {
        ok = reply.value("errcode").toInt(-1) == 0;
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    return ok && dao->uid() != 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({ "idle-seconds", "length of the idle measure", "N", "30" });
    parser.addOption({ "starts", "clicks on 全部开始 measured", "N", "15" });
    parser.addHelpOption();
    parser.process(app);
    const int idleSeconds = qMax(1, parser.value("idle-seconds").toInt());
    const int starts = qMax(1, parser.value("starts").toInt());

    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    QApplication::setQuitOnLastWindowClosed(false);
    MyMsgBox::setUnattended(true);
    DevsiteFixture site;
    if (!site.start()) {
        std::fprintf(stderr, "devsite did not start\n");
        return 1;
    }
    site.exportEnv();
    QFile qss(":/resources/vtup.qss");
    if (qss.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(qss.readAll()));
    MyDAO* dao = MyDAO::instance();
    if (!login(dao)) {
        std::fprintf(stderr, "login failed\n");
        return 1;
    }
    auto* window = new MainWindow;
    window->show();
    MyUploadManager::instance();
    // Let the window settle: its first requests, the pending list, the workers' start.
    spin(3000);

    // ---- idle ----
    const ThreadCounts before = readCounts();
    const qint64 t0 = monotonicNs();
    spin(idleSeconds * 1000);
    const qint64 t1 = monotonicNs();
    const ThreadCounts after = readCounts();
    const double seconds = double(t1 - t0) / 1e9;
    qint64 total = 0;
    QStringList busiest;
    for (auto it = after.switches.begin(); it != after.switches.end(); ++it) {
        const qint64 d = it.value() - before.switches.value(it.key(), 0);
        total += d;
        if (d > 0)
            busiest << QString("%1 %2").arg(it.key()).arg(double(d) / seconds, 0, 'f', 2);
    }
    const double cpuPercent = 100.0 * double(after.ticks - before.ticks) / double(sysconf(_SC_CLK_TCK)) / seconds;
    std::printf("idle, logged in, main window and 5 workers, %.1f s, %d threads:\n", seconds,
                int(after.switches.size()));
    std::printf("  wake-ups (context switches, all threads): %.2f /s\n", double(total) / seconds);
    std::printf("  CPU: %.3f %% of one core (%lld ticks)\n", cpuPercent, after.ticks - before.ticks);
    std::printf("  threads that woke (per second): %s\n", qPrintable(busiest.join(", ")));

    // ---- start latency ----
    FirstByteSink sink;
    qputenv("VANTREL_UPLOAD_URL", QString("http://127.0.0.1:%1").arg(sink.port).toUtf8());
    Endpoints::reload();
    MyProgressListWidget* list = window->findChild<MyProgressListWidget*>();
    if (!list) {
        std::fprintf(stderr, "no upload list in the window\n");
        return 1;
    }
    QList<double> ms;
    for (int i = 0; i < starts; ++i) {
        const QString path = home.path() + QString("/start%1.doc").arg(i);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        const QByteArray bytes = QByteArray(300000, char('a' + i % 26)) + QByteArray::number(i);
        file.write(bytes);
        file.close();
        AssetFormData form;
        form.subject = QString("启动延迟 %1").arg(i);
        form.types = { { "课件", 11, 1 } };
        form.xueduanid = 2;
        form.chid = 2;
        form.catid = 7;
        form.versionid = 3;
        form.fitprovince = 1;
        form.is_filling = true;
        form.file_path = path;
        form.file_name = QFileInfo(path).fileName();
        form.file_dir = home.path();
        form.file_icon = "doc";
        form.file_md5 = QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
        form.file_size = bytes.size();
        form.file_text = "略...";
        dao->saveAssetForm(form, false);
        // Idle again before the click, as a user's click comes.
        spin(700);
        sink.firstByteNs = 0;
        const qint64 click = monotonicNs();
        list->startAllButton()->click();
        QElapsedTimer waited;
        waited.start();
        while (sink.firstByteNs == 0 && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (sink.firstByteNs != 0)
            ms << double(sink.firstByteNs - click) / 1e6;
        spin(300);
        dao->deleteAsset(form.id, form.file_md5);
    }
    std::sort(ms.begin(), ms.end());
    if (ms.isEmpty()) {
        std::printf("start latency: no piece arrived\n");
    } else {
        QStringList all;
        for (double v : ms)
            all << QString::number(v, 'f', 1);
        std::printf("start latency, click on 全部开始 -> first byte of the first piece (%d starts): median %.1f ms, "
                    "max %.1f ms\n  all: %s\n",
                    int(ms.size()), ms.at(ms.size() / 2), ms.last(), qPrintable(all.join(" ")));
    }
    MyUploadManager::instance()->stopAll();
    delete window;
    return 0;
}
