// The plain-HTTP upload service: pieces of at most 1 MiB, checked header by header, stored
// in one file per Save-As name under the state directory.

#include "DevsiteServer.h"
#include "HttpUtil.h"

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <thread>

using namespace devsite;

namespace {

const QByteArray kSignKey = "Tq8R*vm%5L&7";
const qint64 kMaxPiece = 1048576;
const qint64 kMaxFileSize = 2147483648LL;

QByteArray md5Hex(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

QString signatureFor(qint64 fileSize, const QString& fileMd5)
{
    const QByteArray a = md5Hex(QByteArray::number(fileSize) + "-TRQ");
    const QByteArray b = md5Hex("QRT-" + fileMd5.toLatin1());
    return QString::fromLatin1(md5Hex(a + kSignKey + b));
}

struct Piece
{
    qint64 first = 0;
    qint64 last = 0;
    qint64 total = 0;
    QString fileMd5;
    QString sessionId;
    QString saveAs;
    QString fileName;
    int uid = 0;
};

QString header(const httplib::Request& req, const char* name)
{
    return QString::fromLatin1(req.get_header_value(name).c_str());
}

// Checks the headers of one piece exactly; returns the refusal text, empty when all fit.
QString parsePiece(const httplib::Request& req, Piece* p, int* status)
{
    *status = 400;
    if (header(req, "User-Agent") != "tool")
        return "User-Agent must be \"tool\"";
    if (header(req, "Content-Type") != "application/octet-stream")
        return "Content-Type must be \"application/octet-stream\"";
    if (header(req, "X-Tool-Version") != "2.28.1.210115")
        return "X-Tool-Version must be \"2.28.1.210115\"";
    static const QRegularExpression disposition("^attachment; filename=(.+)$");
    const auto d = disposition.match(header(req, "Content-Disposition"));
    if (!d.hasMatch())
        return "Content-Disposition must be \"attachment; filename=<name>\"";
    p->fileName = d.captured(1);

    if (!req.has_header("Content-Length")) {
        *status = 411;
        return "Content-Length required";
    }
    bool ok = false;
    const qint64 length = header(req, "Content-Length").toLongLong(&ok);
    if (!ok || length != qint64(req.body.size()))
        return "Content-Length does not match the body";

    static const QRegularExpression range("^bytes (\\d{1,12})-(\\d{1,12})/(\\d{1,12})$");
    const auto r = range.match(header(req, "X-Content-Range"));
    if (!r.hasMatch())
        return "X-Content-Range must read \"bytes FIRST-LAST/TOTAL\"";
    p->first = r.captured(1).toLongLong();
    p->last = r.captured(2).toLongLong();
    p->total = r.captured(3).toLongLong();
    if (p->total <= 0 || p->total > kMaxFileSize)
        return "X-Content-Range total out of range";
    if (p->first > p->last || p->last >= p->total)
        return "X-Content-Range first/last out of order or beyond the total";
    if (p->last - p->first + 1 != length)
        return "X-Content-Range does not match Content-Length";
    if (length > kMaxPiece) {
        *status = 413;
        return "piece larger than 1 MiB";
    }

    bool uidOk = false;
    p->uid = header(req, "uid").toInt(&uidOk);
    if (!uidOk || p->uid <= 0 || header(req, "uid") != QString::number(p->uid))
        return "uid header must be a positive decimal";

    static const QRegularExpression session("^([0-9a-f]{32})-(\\d+)-(\\d{8})$");
    p->sessionId = header(req, "Session-ID");
    const auto s = session.match(p->sessionId);
    if (!s.hasMatch())
        return "Session-ID must read \"<md5>-<uid>-<ddMMyyyy>\"";
    p->fileMd5 = s.captured(1);
    if (s.captured(2) != QString::number(p->uid))
        return "Session-ID uid differs from the uid header";
    const QDate sessionDate = QDate::fromString(s.captured(3), "ddMMyyyy");
    if (!sessionDate.isValid())
        return "Session-ID date is not a ddMMyyyy date";

    static const QRegularExpression saveAs(
        "^(\\d{4})/(\\d{2})/(\\d{2})/vudedudiv(\\d{8})([0-9a-f]{32})_(\\d+)_(\\d+)_5_tool\\.([^/]*)$");
    p->saveAs = header(req, "Save-As");
    const auto a = saveAs.match(p->saveAs);
    if (!a.hasMatch())
        return "Save-As must read \"yyyy/MM/dd/vudedudiv<yyyyMMdd><md5>_<uid>_<file_id>_5_tool.<suffix>\"";
    const QString dirDate = a.captured(1) + a.captured(2) + a.captured(3);
    if (dirDate != a.captured(4) || !QDate::fromString(dirDate, "yyyyMMdd").isValid())
        return "Save-As dates disagree or are not dates";
    if (QDate::fromString(dirDate, "yyyyMMdd") != sessionDate)
        return "Save-As date differs from the Session-ID date";
    if (a.captured(5) != p->fileMd5)
        return "Save-As md5 differs from the Session-ID md5";
    if (a.captured(6) != QString::number(p->uid))
        return "Save-As uid differs from the uid header";

    if (header(req, "X-Signature") != signatureFor(p->total, p->fileMd5)) {
        *status = 403;
        return "X-Signature does not match";
    }
    return {};
}

// One lock per Save-As name, so that pieces of different files are stored side by side.
std::shared_ptr<std::mutex> lockFor(const QString& saveAs)
{
    static std::mutex mapMutex;
    static std::map<QString, std::shared_ptr<std::mutex>> locks;
    std::lock_guard<std::mutex> lock(mapMutex);
    auto& m = locks[saveAs];
    if (!m)
        m = std::make_shared<std::mutex>();
    return m;
}

// One thread that runs digests handed to it, in the order they came (a thread started per
// piece costs more than the digest on a busy machine).
class DigestThread
{
public:
    static DigestThread& instance()
    {
        static DigestThread thread;
        return thread;
    }

    std::future<void> run(std::function<void()> job)
    {
        std::packaged_task<void()> task(std::move(job));
        std::future<void> done = task.get_future();
        {
            std::lock_guard<std::mutex> lock(mutex);
            queue.push_back(std::move(task));
        }
        wake.notify_one();
        return done;
    }

    ~DigestThread()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_one();
        worker.join();
    }

private:
    DigestThread() = default;

    void loop()
    {
        for (;;) {
            std::packaged_task<void()> task;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [this]() { return stopping || !queue.empty(); });
                if (queue.empty())
                    return; // stopping, and everything handed over is done
                task = std::move(queue.front());
                queue.pop_front();
            }
            task();
        }
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::packaged_task<void()>> queue;
    bool stopping = false;
    std::thread worker { [this]() { loop(); } };
};

// The MD5 of each upload's bytes as they arrive in order, so that the piece that completes a
// large file need not read it all back. A piece's bytes are digested on the digest thread
// while the piece is answered and the next one comes in; the next piece first waits for them,
// so that an upload holds at most one piece there. Each entry is used under its upload's lock
// only.
struct RunningMd5
{
    qint64 hashed = 0; // bytes handed to the digest
    QCryptographicHash hash { QCryptographicHash::Md5 };
    std::future<void> pending;

    ~RunningMd5() { finish(); }
    void finish()
    {
        if (pending.valid())
            pending.get();
    }
    void add(const char* data, qint64 n)
    {
        finish();
        pending = DigestThread::instance().run([this, bytes = QByteArray(data, int(n))]() { hash.addData(bytes); });
        hashed += n;
    }
    QByteArray result()
    {
        finish();
        return hash.result().toHex();
    }
};

std::mutex runningMutex;
std::map<QString, std::shared_ptr<RunningMd5>> running;

std::shared_ptr<RunningMd5> runningMd5(const QString& saveAs, bool fresh)
{
    std::lock_guard<std::mutex> lock(runningMutex);
    if (fresh)
        return running[saveAs] = std::make_shared<RunningMd5>();
    const auto found = running.find(saveAs);
    return found == running.end() ? nullptr : found->second;
}

void forgetRunningMd5(const QString& saveAs)
{
    std::shared_ptr<RunningMd5> gone;
    std::lock_guard<std::mutex> lock(runningMutex);
    const auto found = running.find(saveAs);
    if (found != running.end()) {
        gone = std::move(found->second); // waits for its digest once the map is unlocked
        running.erase(found);
    }
}

// Adds bytes stored at `from`; a write that does not continue the digest ends it (the
// completing piece then reads the file).
void addToRunningMd5(const QString& saveAs, qint64 from, const char* data, qint64 n)
{
    const auto r = runningMd5(saveAs, from == 0);
    if (!r)
        return;
    if (r->hashed != from) {
        forgetRunningMd5(saveAs);
        return;
    }
    r->add(data, n);
}

QString fileMd5Of(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&f);
    return QString::fromLatin1(hash.result().toHex());
}

void answer(httplib::Response& res, int status, const StateStore::Upload& u, const QString& note = {})
{
    QJsonObject body { { "stored", u.stored }, { "total", u.total }, { "complete", u.complete } };
    if (!note.isEmpty())
        body.insert("error", note);
    sendJson(res, body, status);
}

void storePiece(StateStore& store, const httplib::Request& req, httplib::Response& res)
{
    Piece p;
    int status = 400;
    const QString problem = parsePiece(req, &p, &status);
    if (!problem.isEmpty()) {
        sendError(res, status, problem);
        return;
    }

    const auto pieceLock = lockFor(p.saveAs);
    std::lock_guard<std::mutex> guard(*pieceLock);
    StateStore::Upload u;
    if (!store.findUpload(p.saveAs, &u)) {
        u.saveAs = p.saveAs;
        u.fileMd5 = p.fileMd5;
        u.sessionId = p.sessionId;
        u.fileName = p.fileName;
        u.uid = p.uid;
        u.total = p.total;
    } else if (u.total != p.total || u.fileMd5 != p.fileMd5 || u.uid != p.uid) {
        answer(res, 409, u, "piece does not belong to the upload stored under this Save-As");
        return;
    }
    const QString path = store.uploadDataPath(p.saveAs);
    if (u.stored == u.total && !u.complete) {
        // Assembled before and found to be another file: a piece from the start begins a
        // new attempt, anything else keeps being refused.
        if (p.first != 0) {
            answer(res, 422, u, "the assembled file does not have the MD5 " + u.fileMd5);
            return;
        }
        QFile::remove(path);
        forgetRunningMd5(p.saveAs);
        u.stored = 0;
        u.md5.clear();
    }
    if (p.first > u.stored) {
        answer(res, 409, u, QString("gap: bytes %1-%2 are missing").arg(u.stored).arg(p.first - 1));
        return;
    }

    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) {
        answer(res, 500, u, "cannot open the upload file");
        return;
    }
    // A re-sent range must carry the bytes already stored; then it is accepted as it is.
    const qint64 overlapEnd = qMin(p.last + 1, u.stored);
    if (overlapEnd > p.first) {
        f.seek(p.first);
        const QByteArray stored = f.read(overlapEnd - p.first);
        if (stored != QByteArray::fromRawData(req.body.data(), int(overlapEnd - p.first))) {
            answer(res, 409, u, "re-sent bytes differ from the bytes stored");
            return;
        }
    }
    if (p.last + 1 > u.stored) {
        const qint64 from = qMax(p.first, u.stored);
        f.seek(from);
        const qint64 n = p.last + 1 - from;
        if (f.write(req.body.data() + (from - p.first), n) != n || !f.flush()) {
            forgetRunningMd5(p.saveAs);
            answer(res, 507, u, "cannot store the piece");
            return;
        }
        addToRunningMd5(p.saveAs, from, req.body.data() + (from - p.first), n);
        u.stored = p.last + 1;
    }
    f.close();

    if (u.stored == u.total && !u.complete) {
        const auto r = runningMd5(p.saveAs, false);
        const QString md5 = r && r->hashed == u.total ? QString::fromLatin1(r->result()) : fileMd5Of(path);
        forgetRunningMd5(p.saveAs);
        if (md5 != u.fileMd5) {
            // The assembled file is not the one announced: never complete.
            u.md5 = md5;
            store.saveUpload(u);
            answer(res, 422, u, "MD5 of the assembled file is " + md5 + ", not " + p.fileMd5);
            return;
        }
        u.complete = true;
        u.md5 = md5;
    }
    store.saveUpload(u);
    answer(res, u.complete ? 200 : 201, u);
}

} // namespace

void registerUploadService(DevsiteServer& server)
{
    server.route(
        DevsiteServer::Listener::Upload, "POST", "/upload/",
        [&server](const httplib::Request& req, httplib::Response& res) { storePiece(server.store(), req, res); });
}
