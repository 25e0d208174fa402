// Upload throughput, CPU and memory of the real engine against devsite on loopback, with
// curl sending the same pieces with the same headers as the comparison, and the file
// fingerprint against md5sum. Prints one line per measurement; asserts nothing.
//
//   BenchUpload [--size-mb N] [--parallel N] [--no-curl] [--curl-mb N] [--mbit N] [--throttled-mb N] [--no-sink]
//
// Needs the devsite program: VANTREL_TEST_BINDIR names its folder (scripts/bench sets it).

#include "intake/MyFileMd5Thread.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"
#include "support/TestFiles.h"
#include "upload/MyUploadManager.h"
#include "upload/MyUploadThread.h"
#include "upload/PieceTransport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

const int UID = 4242;
const qint64 PIECE = 1048576;

struct Cpu
{
    double self = 0;
    double children = 0;
};

double seconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

Cpu cpuNow()
{
    rusage self {}, children {};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    return { seconds(self.ru_utime) + seconds(self.ru_stime), seconds(children.ru_utime) + seconds(children.ru_stime) };
}

qint64 statusKiB(const char* key)
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts a new peak for VmHWM.
void resetPeak()
{
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

struct BenchFile : TestFile
{
    int id = 0;
};

BenchFile makeFile(const QString& dir, int index, qint64 size)
{
    BenchFile f;
    static_cast<TestFile&>(f) = makeTestFile(dir, QString("bench%1.mp4").arg(index), size, quint32(1000 + index));
    return f;
}

UploadFile jobFor(const BenchFile& f, int id)
{
    UploadFile job;
    job.file_md5 = f.md5;
    job.file_name = f.name;
    job.file_id = id;
    job.file_size = f.size;
    job.file_path = f.path;
    job.created_time = QDateTime::currentSecsSinceEpoch();
    job.file_status = 2;
    return job;
}

// Queues the jobs and waits until all have completed; false when one failed.
bool uploadThroughEngine(const QList<UploadFile>& jobs)
{
    MyDAO* dao = MyDAO::instance();
    QEventLoop loop;
    int left = jobs.size();
    bool ok = true;
    auto done = QObject::connect(dao, &MyDAO::s_completed_upload, &loop, [&](int) {
        if (--left == 0)
            loop.quit();
    });
    auto failed
        = QObject::connect(dao, &MyDAO::s_progress_upload, &loop, [&](int, QString, qulonglong, QString msg, QString) {
              if (!msg.isEmpty()) {
                  fprintf(stderr, "upload failed: %s\n", qPrintable(msg));
                  ok = false;
                  loop.quit();
              }
          });
    for (const UploadFile& job : jobs)
        dao->enqueueUpload(job);
    loop.exec();
    QObject::disconnect(done);
    QObject::disconnect(failed);
    return ok;
}

// Sends one file piece by piece with curl, each piece fed through its standard input.
class CurlChain : public QObject
{
public:
    CurlChain(const UploadFile& job, int uid, qint64 limit, QEventLoop* loop, int* running)
        : job(job)
        , limit(qMin(limit, job.file_size))
        , uid(uid)
        , loop(loop)
        , running(running)
        , file(job.file_path)
    {
        file.open(QIODevice::ReadOnly);
    }

    void next()
    {
        if (offset >= limit || !ok) {
            if (--*running == 0)
                loop->quit();
            return;
        }
        const qint64 first = offset;
        const qint64 last = qMin(first + PIECE, job.file_size) - 1;
        const QNetworkRequest request = MyUploadThread::pieceRequest(QNetworkRequest(), job, uid, first, last);
        QStringList args { "-s", "-o", "/dev/null", "-w", "%{http_code}", "-X", "POST", "--data-binary",
                           "@-", "-H", "Expect:" };
        for (const QByteArray& name : request.rawHeaderList())
            args << "-H" << QString::fromLatin1(name + ": " + request.rawHeader(name));
        args << request.url().toString();
        auto* curl = new QProcess(this);
        QObject::connect(curl, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                         [this, curl, last](int, QProcess::ExitStatus) {
                             const QByteArray code = curl->readAllStandardOutput();
                             if (code != "201" && code != "200") {
                                 fprintf(stderr, "curl piece answered %s\n", code.constData());
                                 ok = false;
                             }
                             curl->deleteLater();
                             offset = last + 1;
                             next();
                         });
        curl->start("curl", args);
        file.seek(first);
        curl->write(file.read(last - first + 1));
        curl->closeWriteChannel();
    }

    bool ok = true;

private:
    UploadFile job;
    qint64 limit; // the pieces up to this offset are sent
    int uid;
    QEventLoop* loop;
    int* running;
    QFile file;
    qint64 offset = 0;
};

// The first `limit` bytes of each file, piece by piece (the same pieces as the engine's).
bool uploadThroughCurl(const QList<UploadFile>& jobs, qint64 limit)
{
    QEventLoop loop;
    int running = jobs.size();
    std::vector<std::unique_ptr<CurlChain>> chains;
    for (const UploadFile& job : jobs)
        chains.push_back(std::make_unique<CurlChain>(job, UID, limit, &loop, &running));
    for (auto& c : chains)
        QTimer::singleShot(0, c.get(), [&c]() { c->next(); });
    loop.exec();
    bool ok = true;
    for (auto& c : chains)
        ok &= c->ok;
    return ok;
}

// Text of a curl config value: quoted, with its quotes and backslashes escaped.
QByteArray configValue(const QByteArray& v)
{
    QByteArray out = v;
    out.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + out + '"';
}

// One transfer of a curl config: a POST whose body curl streams from `bodyFile`, with the
// engine's header lines for `request` (and none of curl's own that the engine does not send),
// writing the answer's status and whether it opened a connection.
QByteArray curlTransfer(const QNetworkRequest& request, const QString& bodyFile)
{
    // An upload to a URL ending in '/' gets the file's name appended; the URL names a file and
    // the request line carries the engine's own target.
    const QUrl url = request.url();
    const QByteArray address = url.toEncoded();
    QByteArray block = "url = " + configValue(address.endsWith('/') ? address + "piece" : address) + "\n";
    block += "request = \"POST\"\n";
    block += "request-target = " + configValue(url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority)) + "\n";
    block += "upload-file = " + configValue(bodyFile.toUtf8()) + "\n";
    for (const QByteArray& line : PieceTransport::headerLines(request))
        block += "header = " + configValue(line) + "\n";
    block += "header = \"Accept:\"\nheader = \"Expect:\"\noutput = \"/dev/null\"\n";
    block += "write-out = \"%{http_code} %{num_connects}\\n\"\n";
    return block;
}

// Runs one curl process on `config`; true when every answer is 200/201. `connects` gets the
// connections it opened.
bool runCurlConfig(const QString& configPath, int answers, int* connects)
{
    QProcess curl;
    curl.start("curl", { "-s", "-K", configPath });
    if (!curl.waitForFinished(-1))
        return false;
    const QList<QByteArray> lines = curl.readAllStandardOutput().trimmed().split('\n');
    *connects = 0;
    bool ok = lines.size() == answers;
    for (const QByteArray& line : lines) {
        const QList<QByteArray> f = line.split(' ');
        ok &= f.value(0) == "201" || f.value(0) == "200";
        *connects += f.value(1).toInt();
    }
    if (!ok)
        fprintf(stderr, "curl answered: %s\n", lines.join(' ').left(200).constData());
    return ok;
}

// Prepared before the timing: the pieces of the first `limit` bytes as files (curl sends a
// whole file as the body), and one config that sends them all, one transfer per piece joined
// with `next`, so that curl keeps one connection for all of them.
QString curlKeepAliveConfig(const UploadFile& job, int uid, qint64 limit, const QString& dir, int* pieces)
{
    QFile in(job.file_path);
    in.open(QIODevice::ReadOnly);
    QByteArray config;
    *pieces = 0;
    for (qint64 first = 0; first < qMin(limit, job.file_size); first += PIECE) {
        const qint64 last = qMin(first + PIECE, job.file_size) - 1;
        const QString piecePath = QString("%1/piece%2").arg(dir).arg(*pieces);
        QFile out(piecePath);
        out.open(QIODevice::WriteOnly);
        in.seek(first);
        out.write(in.read(last - first + 1));
        if (*pieces > 0)
            config += "next\n";
        config += curlTransfer(MyUploadThread::pieceRequest(QNetworkRequest(), job, uid, first, last), piecePath);
        ++*pieces;
    }
    const QString path = dir + "/keepalive.conf";
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(config);
    return path;
}

// The whole file in one request, streamed from the file: what the transport could reach
// without pieces (only the sink takes a body over 1 MiB).
QString curlSingleRequestConfig(const UploadFile& job, int uid, const QString& dir)
{
    const QString path = dir + "/single.conf";
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(
        curlTransfer(MyUploadThread::pieceRequest(QNetworkRequest(), job, uid, 0, job.file_size - 1), job.file_path));
    return path;
}

// An upload service that stores nothing and answers every piece at once (200 for the piece
// that ends the file, 201 otherwise): what the client costs when the site costs nothing.
class Sink : public QObject
{
public:
    Sink()
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s]() { serve(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    quint16 port() const { return server.serverPort(); }

private:
    struct Conn
    {
        QByteArray head;
        qint64 bodyLeft = -1; // -1: reading the head
        bool last = false;
    };

    void serve(QTcpSocket* s)
    {
        Conn& c = conns[s];
        while (s->bytesAvailable() > 0) {
            if (c.bodyLeft < 0) {
                c.head += s->read(4096);
                const int end = c.head.indexOf("\r\n\r\n");
                if (end < 0)
                    continue;
                const QByteArray rest = c.head.mid(end + 4);
                qint64 length = 0;
                c.last = false;
                for (const QByteArray& line : c.head.left(end).split('\n')) {
                    const QByteArray l = line.trimmed().toLower();
                    if (l.startsWith("content-length:"))
                        length = l.mid(15).trimmed().toLongLong();
                    if (l.startsWith("x-content-range:")) {
                        const QList<QByteArray> r = l.mid(22).trimmed().split('/');
                        c.last = r.size() == 2 && r[0].split('-').value(1).toLongLong() + 1 == r[1].toLongLong();
                    }
                }
                c.head.clear();
                c.bodyLeft = length - rest.size();
                if (c.bodyLeft < 0) { // pipelined bytes are not expected from one client
                    c.head = rest.right(int(-c.bodyLeft));
                    c.bodyLeft = 0;
                }
            } else {
                c.bodyLeft -= s->read(qMin<qint64>(c.bodyLeft, 1 << 20)).size();
            }
            if (c.bodyLeft == 0) {
                s->write(c.last ? "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"
                                : "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n");
                c.bodyLeft = -1;
            }
        }
    }

    QTcpServer server;
    QHash<QTcpSocket*, Conn> conns;
};

bool writePort(const QString& portFile, quint16 port)
{
    QFile f(portFile);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QByteArray::number(port));
    return true;
}

int runSink(const QString& portFile)
{
    Sink sink;
    return writePort(portFile, sink.port()) ? QCoreApplication::exec() : 1;
}

// Starts this program in one of its helper roles and returns the port it listens on (0 on failure).
quint16 startHelper(QProcess& process, QStringList args, const QString& portFile)
{
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QCoreApplication::applicationFilePath(), args << "--helper-port-file" << portFile);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        QFile f(portFile);
        if (f.open(QIODevice::ReadOnly)) {
            const quint16 port = quint16(f.readAll().toUInt());
            if (port)
                return port;
        }
        QThread::msleep(20);
    }
    return 0;
}

void pointUploadsAt(quint16 port)
{
    qputenv("VANTREL_UPLOAD_URL", "http://127.0.0.1:" + QByteArray::number(port));
    Endpoints::reload();
}

struct Result
{
    double wall = 0;
    double cpu = 0;
    qint64 bytes = 0;
};

void printResult(const char* what, const Result& r)
{
    const double mb = double(r.bytes) / 1e6;
    printf("%-40s %9.1f MB  %7.2f s  %8.1f MB/s  cpu %6.2f s  %6.2f cpu-s/GB\n", what, mb, r.wall, mb / r.wall, r.cpu,
           r.cpu / (double(r.bytes) / 1e9));
    fflush(stdout);
}

// a / b of seconds per byte and of CPU seconds per byte (runs of different sizes compare).
void printRatio(const char* what, const Result& a, const Result& b)
{
    printf("%s: wall %.2f cpu %.2f (per byte)\n", what, (a.wall / double(a.bytes)) / (b.wall / double(b.bytes)),
           (a.cpu / double(a.bytes)) / (b.cpu / double(b.bytes)));
    fflush(stdout);
}

template <typename F> Result measure(qint64 bytes, bool countChildren, F&& run, bool* ok)
{
    const Cpu before = cpuNow();
    QElapsedTimer wall;
    wall.start();
    *ok = run();
    Result r;
    r.wall = double(wall.nsecsElapsed()) / 1e9;
    const Cpu after = cpuNow();
    r.cpu = (after.self - before.self) + (countChildren ? after.children - before.children : 0);
    r.bytes = bytes;
    return r;
}

// One file through one curl process over one kept-alive connection (see curlKeepAliveConfig).
bool curlKeepAliveRun(const QString& what, const UploadFile& job, qint64 limit, Result* r)
{
    QTemporaryDir dir;
    int pieces = 0;
    const QString config = curlKeepAliveConfig(job, UID, limit, dir.path(), &pieces);
    int connects = 0;
    bool ok = true;
    *r = measure(
        qMin(limit, job.file_size), true, [&]() { return runCurlConfig(config, pieces, &connects); }, &ok);
    if (ok) {
        printResult(qPrintable(what), *r);
        printf("  %d pieces over %d connection(s)\n", pieces, connects);
    }
    return ok;
}

// The steady pace of the pieces the site logged after the first `skip` upload requests.
double pieceIntervalMs(DevsiteFixture& site, int skip)
{
    const QJsonArray log = site.requests("/upload/");
    QList<qint64> t;
    for (int i = skip; i < log.size(); ++i)
        t << log.at(i).toObject().value("time_ms").toVariant().toLongLong();
    return t.size() > 1 ? double(t.last() - t.first()) / (t.size() - 1) : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    // Never the user's own settings, database or logs.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption sizeOpt("size-mb", "Size of each file in MiB.", "N", "256");
    const QCommandLineOption parallelOpt("parallel", "Files uploaded at once in the parallel run.", "N", "5");
    const QCommandLineOption noCurlOpt("no-curl", "Skip the curl comparison.");
    const QCommandLineOption curlMbOpt("curl-mb", "MiB of each file that curl sends (default: all).", "N", "0");
    const QCommandLineOption mbitOpt("mbit", "Rate of devsite's throttled upload port in Mbit/s (0: no throttled run).",
                                     "N", "100");
    const QCommandLineOption throttledMbOpt("throttled-mb", "MiB of each file sent through the throttled port.", "N",
                                            "64");
    const QCommandLineOption noSinkOpt("no-sink", "Skip the runs against the sink.");
    const QCommandLineOption sinkOpt("sink", "Internal: run the sink upload service.");
    const QCommandLineOption helperFileOpt("helper-port-file", "Internal: where a helper writes its port.", "FILE");
    parser.addOptions(
        { sizeOpt, parallelOpt, noCurlOpt, curlMbOpt, mbitOpt, throttledMbOpt, noSinkOpt, sinkOpt, helperFileOpt });
    parser.addHelpOption();
    parser.process(app);
    if (parser.isSet(sinkOpt))
        return runSink(parser.value(helperFileOpt));
    const double mbit = parser.value(mbitOpt).toDouble();
    const qint64 size = parser.value(sizeOpt).toLongLong() * PIECE;
    const int parallel = qBound(1, parser.value(parallelOpt).toInt(), 5);
    const qint64 curlBytes
        = parser.value(curlMbOpt).toLongLong() > 0 ? qMin(size, parser.value(curlMbOpt).toLongLong() * PIECE) : size;

    DevsiteFixture site;
    if (!site.start()) {
        fprintf(stderr, "devsite did not start (set VANTREL_TEST_BINDIR)\n");
        return 1;
    }
    site.exportEnv();
    MyDAO::setReferenceFetchLimitMs(3000);
    MyDAO* dao = MyDAO::instance();
    dao->setUid(UID);

    QTemporaryDir data;
    printf("files: %d x %lld MiB in %s\n", parallel + 1, size / PIECE, qPrintable(data.path()));
    QList<BenchFile> files;
    for (int i = 0; i <= parallel; ++i)
        files << makeFile(data.path(), i, size);
    // Real asset rows, so that every progress report runs its statement.
    for (BenchFile& f : files) {
        AssetFormData form;
        form.subject = f.name;
        form.is_filling = true;
        form.file_name = f.name;
        form.file_dir = data.path();
        form.file_md5 = f.md5;
        form.file_size = f.size;
        dao->saveAssetForm(form, false);
        f.id = form.id;
    }

    MyUploadManager::instance();
    QThread::msleep(1000);
    QCoreApplication::processEvents();
    const qint64 idleRss = statusKiB("VmRSS:");
    printf("idle RSS with %d workers: %lld KiB\n", MyUploadManager::kWorkers, idleRss);
    resetPeak();

    bool ok = true;
    const Result one = measure(
        size, false, [&]() { return uploadThroughEngine({ jobFor(files[0], files[0].id) }); }, &ok);
    if (!ok)
        return 1;
    printResult("engine, 1 file", one);
    {
        const QJsonArray log = site.requests("/upload/");
        QList<qint64> t;
        for (const QJsonValue& v : log)
            t << v.toObject().value("time_ms").toVariant().toLongLong();
        if (t.size() > 1)
            printf("  %d pieces, one every %.1f ms at the site\n", int(t.size()),
                   double(t.last() - t.first()) / (t.size() - 1));
    }
    const qint64 peakOne = statusKiB("VmHWM:");
    resetPeak();

    QList<UploadFile> many;
    for (int i = 1; i <= parallel; ++i)
        many << jobFor(files[i], files[i].id);
    const Result five = measure(
        size * parallel, false, [&]() { return uploadThroughEngine(many); }, &ok);
    if (!ok)
        return 1;
    printResult(qPrintable(QString("engine, %1 files at once").arg(parallel)), five);
    const qint64 peakFive = statusKiB("VmHWM:");
    printf("peak RSS: idle %lld KiB, 1 file %lld KiB (+%lld), %d files %lld KiB (+%lld)\n", idleRss, peakOne,
           peakOne - idleRss, parallel, peakFive, peakFive - idleRss);
    MyUploadManager::instance()->stopAll();

    if (!parser.isSet(noCurlOpt)) {
        // Other ids, so that the site stores these under other names.
        const Result c1 = measure(
            curlBytes, true, [&]() { return uploadThroughCurl({ jobFor(files[0], 100000) }, curlBytes); }, &ok);
        if (!ok)
            return 1;
        printResult("curl, 1 file", c1);
        QList<UploadFile> curlMany;
        for (int i = 1; i <= parallel; ++i)
            curlMany << jobFor(files[i], 100000 + i);
        const Result c5 = measure(
            curlBytes * parallel, true, [&]() { return uploadThroughCurl(curlMany, curlBytes); }, &ok);
        if (!ok)
            return 1;
        printResult(qPrintable(QString("curl, %1 files at once").arg(parallel)), c5);
        printRatio("engine/curl, 1 file", one, c1);
        printRatio(qPrintable(QString("engine/curl, %1 files").arg(parallel)), five, c5);
        Result k1;
        if (!curlKeepAliveRun("curl keep-alive, 1 file", jobFor(files[0], 100050), size, &k1))
            return 1;
        printRatio("engine/curl keep-alive, 1 file", one, k1);
    }

    const QByteArray direct = qgetenv("VANTREL_UPLOAD_URL");
    QTemporaryDir helperDir;
    if (mbit > 0) {
        // A second devsite whose upload port reads at most `mbit`, shared by all connections.
        DevsiteFixture slowSite;
        if (!slowSite.start(QString(), { "--throttle-mbit", QString::number(mbit) })) {
            fprintf(stderr, "throttled devsite did not start\n");
            return 1;
        }
        pointUploadsAt(quint16(slowSite.uploadPort()));
        const qint64 slowSize = qMin<qint64>(size, parser.value(throttledMbOpt).toLongLong() * PIECE);
        QList<BenchFile> slow;
        for (int i = 0; i <= parallel; ++i)
            slow << makeFile(data.path(), 90 + i, slowSize);
        const double link = mbit * 1e6 / 8 / 1e6; // MB/s
        auto share = [&](const Result& r) { return 100.0 * double(r.bytes) / 1e6 / r.wall / link; };
        MyUploadManager::instance()->createWorkers();
        const Result e1 = measure(
            slowSize, false, [&]() { return uploadThroughEngine({ jobFor(slow[0], 200000) }); }, &ok);
        if (!ok)
            return 1;
        printResult(qPrintable(QString("engine, 1 file, %1 Mbit/s").arg(mbit)), e1);
        printf("  %.1f %% of the link (%.2f MB/s)\n", share(e1), link);
        const double e1Piece = pieceIntervalMs(slowSite, 0);
        // 1 MiB takes this long on the link; the pace at the site leaves out the start.
        const double wireMs = double(PIECE) / (link * 1e6) * 1e3;
        printf("  a piece every %.1f ms at the site (%.1f ms on the wire): %.1f %% of the link once under way\n",
               e1Piece, wireMs, 100.0 * wireMs / e1Piece);
        QList<UploadFile> slowMany;
        for (int i = 1; i <= parallel; ++i)
            slowMany << jobFor(slow[i], 200000 + i);
        const Result e5 = measure(
            slowSize * parallel, false, [&]() { return uploadThroughEngine(slowMany); }, &ok);
        if (!ok)
            return 1;
        printResult(qPrintable(QString("engine, %1 files at once, %2 Mbit/s").arg(parallel).arg(mbit)), e5);
        printf("  %.1f %% of the link\n", share(e5));
        MyUploadManager::instance()->stopAll();
        if (!parser.isSet(noCurlOpt)) {
            const Result c1 = measure(
                slowSize, true, [&]() { return uploadThroughCurl({ jobFor(slow[0], 200100) }, slowSize); }, &ok);
            if (!ok)
                return 1;
            printResult(qPrintable(QString("curl, 1 file, %1 Mbit/s").arg(mbit)), c1);
            printf("  %.1f %% of the link\n", share(c1));
            QList<UploadFile> curlMany;
            for (int i = 1; i <= parallel; ++i)
                curlMany << jobFor(slow[i], 200100 + i);
            const Result c5 = measure(
                slowSize * parallel, true, [&]() { return uploadThroughCurl(curlMany, slowSize); }, &ok);
            if (!ok)
                return 1;
            printResult(qPrintable(QString("curl, %1 files at once, %2 Mbit/s").arg(parallel).arg(mbit)), c5);
            printf("  %.1f %% of the link\n", share(c5));
            printRatio("engine/curl, 1 file, throttled", e1, c1);
            // Without any pause between pieces: the turnaround of client and site alone.
            Result k1;
            const int before = slowSite.requests("/upload/").size();
            if (!curlKeepAliveRun(QString("curl keep-alive, 1 file, %1 Mbit/s").arg(mbit), jobFor(slow[0], 200050),
                                  slowSize, &k1))
                return 1;
            const double kPiece = pieceIntervalMs(slowSite, before);
            printf("  %.1f %% of the link; a piece every %.1f ms at the site (%.1f ms on the wire)\n", share(k1),
                   kPiece, wireMs);
            printRatio(qPrintable(QString("engine/curl, %1 files, throttled").arg(parallel)), e5, c5);
        }
        for (const BenchFile& f : slow)
            QFile::remove(f.path);
    }
    if (parser.isSet(noSinkOpt)) {
        qputenv("VANTREL_UPLOAD_URL", direct);
        Endpoints::reload();
    }

    // The client's own share: the same runs against a service that costs nothing.
    if (!parser.isSet(noSinkOpt)) {
        QProcess sinkProcess;
        const quint16 sinkPort = startHelper(sinkProcess, { "--sink" }, helperDir.path() + "/sink");
        if (!sinkPort) {
            fprintf(stderr, "sink did not start\n");
            return 1;
        }
        pointUploadsAt(sinkPort);
        MyUploadManager::instance()->createWorkers();
        const Result s1 = measure(
            size, false, [&]() { return uploadThroughEngine({ jobFor(files[0], 300000) }); }, &ok);
        if (!ok)
            return 1;
        printResult("engine, 1 file, sink", s1);
        QList<UploadFile> sinkMany;
        for (int i = 1; i <= parallel; ++i)
            sinkMany << jobFor(files[i], 300000 + i);
        const Result s5 = measure(
            size * parallel, false, [&]() { return uploadThroughEngine(sinkMany); }, &ok);
        if (!ok)
            return 1;
        printResult(qPrintable(QString("engine, %1 files at once, sink").arg(parallel)), s5);
        MyUploadManager::instance()->stopAll();
        if (!parser.isSet(noCurlOpt)) {
            const Result c = measure(
                size, true, [&]() { return uploadThroughCurl({ jobFor(files[0], 300100) }, size); }, &ok);
            if (!ok)
                return 1;
            printResult("curl, 1 file, sink", c);
            printRatio("engine/curl against the sink", s1, c);
            Result k;
            if (!curlKeepAliveRun("curl keep-alive, 1 file, sink", jobFor(files[0], 300050), size, &k))
                return 1;
            printRatio("engine/curl keep-alive against the sink", s1, k);
            QTemporaryDir configDir;
            const QString single = curlSingleRequestConfig(jobFor(files[0], 300060), UID, configDir.path());
            int connects = 0;
            const Result w = measure(
                size, true, [&]() { return runCurlConfig(single, 1, &connects); }, &ok);
            if (!ok)
                return 1;
            printResult("curl, whole file in one request, sink", w);
            printRatio("engine/one request against the sink", s1, w);
        }
        sinkProcess.kill();
        sinkProcess.waitForFinished();
        qputenv("VANTREL_UPLOAD_URL", direct);
        Endpoints::reload();
    }

    // Fingerprint of the same (cached) file, twice each, best of two.
    Result ours, theirs;
    for (int round = 0; round < 2; ++round) {
        QString md5;
        const Result r = measure(
            size, false,
            [&]() {
                md5 = MyFileMd5Thread::md5OfFile(files[0].path);
                return md5 == files[0].md5;
            },
            &ok);
        if (!ok)
            fprintf(stderr, "fingerprint differs\n");
        if (round == 0 || r.wall < ours.wall)
            ours = r;
        const Result s = measure(
            size, true,
            [&]() {
                QProcess p;
                p.start("md5sum", { files[0].path });
                return p.waitForFinished(-1) && p.readAllStandardOutput().startsWith(files[0].md5.toLatin1());
            },
            &ok);
        if (round == 0 || s.wall < theirs.wall)
            theirs = s;
    }
    printResult("fingerprint (MyFileMd5Thread)", ours);
    printResult("fingerprint (md5sum)", theirs);
    printf("fingerprint speed ratio ours/md5sum: %.2f\n", theirs.wall / ours.wall);
    return 0;
}
