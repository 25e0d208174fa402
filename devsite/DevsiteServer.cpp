#include "DevsiteServer.h"

#include "Certificates.h"
#include "HttpUtil.h"
#include "ReleaseKey.h"
#include "SeedData.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <arpa/inet.h>
#include <cstdlib>
#include <dirent.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

using namespace devsite;

namespace {

int portOf(const sockaddr_storage& a)
{
    if (a.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
    if (a.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port);
    return -1;
}

// Closes the connection a request came on, without an answer. httplib does not hand its
// socket to handlers, so find it by its two port numbers.
void dropConnection(const httplib::Request& req)
{
    DIR* fds = opendir("/proc/self/fd");
    if (!fds)
        return;
    while (dirent* e = readdir(fds)) {
        const int fd = atoi(e->d_name);
        if (fd <= 2)
            continue;
        sockaddr_storage local {}, peer {};
        socklen_t len = sizeof(local);
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0)
            continue;
        len = sizeof(peer);
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) != 0)
            continue;
        if (portOf(local) == req.local_port && portOf(peer) == req.remote_port) {
            ::shutdown(fd, SHUT_RDWR);
            break;
        }
    }
    closedir(fds);
}

// The body as gzip (RFC 1952).
std::string gzip(const std::string& data)
{
    z_stream zs {};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string out(deflateBound(&zs, uLong(data.size())), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = uInt(out.size());
    const bool done = deflate(&zs, Z_FINISH) == Z_STREAM_END;
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return done ? out : std::string();
}

std::string chunk(const std::string& data)
{
    char size[32];
    snprintf(size, sizeof(size), "%zx\r\n", data.size());
    return size + data + "\r\n";
}

// Sends the handler's answer spoiled the way a broken server or a cut connection would:
// "length" announces the whole body and sends half; "chunked" sends half in chunks and stops
// without the last chunk; "chunk-header" has a malformed chunk header half-way; "gzip" is a
// well-framed gzip stream corrupted in the middle; "close" has no length and closes half-way.
void spoilBody(httplib::Response& res, const std::string& how)
{
    const std::string whole = res.body;
    const std::string half = whole.substr(0, whole.size() / 2);
    std::string type = res.get_header_value("Content-Type");
    res.body.clear();
    res.set_header("Connection", "close");
    if (how == "length") {
        auto data = std::make_shared<std::string>(half);
        res.set_content_provider(whole.size(), type, [data](size_t offset, size_t, httplib::DataSink& sink) {
            if (offset < data->size())
                sink.write(data->data() + offset, data->size() - offset);
            return false; // the rest never comes: the connection is closed
        });
        return;
    }
    std::string wire;
    if (how == "chunked") {
        res.set_header("Transfer-Encoding", "chunked");
        wire = chunk(half);
    } else if (how == "chunk-header") {
        res.set_header("Transfer-Encoding", "chunked");
        wire = chunk(half) + "zz; not a size\r\n" + whole.substr(half.size()) + "\r\n0\r\n\r\n";
    } else if (how == "gzip") {
        std::string packed = gzip(whole);
        for (size_t i = packed.size() / 2; i < packed.size() / 2 + 64 && i < packed.size(); ++i)
            packed[i] = char(~packed[i]);
        res.set_header("Content-Encoding", "gzip");
        res.set_header("Transfer-Encoding", "chunked");
        wire = chunk(packed) + "0\r\n\r\n";
    } else {
        wire = half;
    }
    // Written as given: no length, the end of the body is the end of the connection.
    auto data = std::make_shared<std::string>(std::move(wire));
    res.set_content_provider(type, [data](size_t offset, httplib::DataSink& sink) {
        if (offset < data->size())
            sink.write(data->data() + offset, data->size() - offset);
        sink.done();
        return true;
    });
}

const int kThreadsPerListener = 24;
const long long kMaxBody = 16 * 1024 * 1024;

class Pool : public httplib::ThreadPool
{
public:
    Pool()
        : httplib::ThreadPool(kThreadsPerListener)
    {
    }
};

} // namespace

DevsiteServer::DevsiteServer(const DevsiteConfig& config)
    : cfg(config)
    , published(config.publishedVersion)
{
}

QString DevsiteServer::publishedVersion()
{
    std::lock_guard<std::mutex> lock(versionMutex);
    return published;
}

QString DevsiteServer::publishedDigest()
{
    std::lock_guard<std::mutex> lock(versionMutex);
    return digest;
}

QString DevsiteServer::publishedSigning()
{
    std::lock_guard<std::mutex> lock(versionMutex);
    return signing;
}

void DevsiteServer::setPublishedVersion(const QString& version, const QString& sha256, const QString& signingMode)
{
    std::lock_guard<std::mutex> lock(versionMutex);
    published = version;
    digest = sha256;
    signing = signingMode;
}

QString DevsiteServer::releaseSignature()
{
    const QString mode = publishedSigning();
    if (mode == "none" || cfg.exeFile.isEmpty())
        return QString();
    // Tests replace the published file while the site runs; sign what is there now, once.
    const QFileInfo info(cfg.exeFile);
    const QString key
        = mode + '|' + QString::number(info.size()) + '|' + QString::number(info.lastModified().toMSecsSinceEpoch());
    std::lock_guard<std::mutex> lock(versionMutex);
    if (key != signedKey) {
        QFile f(cfg.exeFile);
        QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        if (mode == "wrong")
            bytes += "not what is served";
        signedValue = QString::fromLatin1(ReleaseKey::sign(bytes).toBase64());
        signedKey = key;
    }
    return signedValue;
}

void DevsiteServer::routePrefix(Listener listener, const QString& method, const QString& prefix, Handler handler)
{
    (listener == Listener::Https ? httpsPrefixes : uploadPrefixes)
        .append({ method + " " + prefix, std::move(handler) });
}

DevsiteServer::~DevsiteServer()
{
    stop();
    if (httpsThread.joinable())
        httpsThread.join();
    if (uploadThread.joinable())
        uploadThread.join();
}

void DevsiteServer::route(Listener listener, const QString& method, const QString& path, Handler handler)
{
    (listener == Listener::Https ? httpsRoutes : uploadRoutes).insert(method + " " + path, std::move(handler));
}

void DevsiteServer::routeBoth(const QString& method, const QString& path, Handler handler)
{
    route(Listener::Https, method, path, handler);
    route(Listener::Upload, method, path, handler);
}

int DevsiteServer::requireSession(const httplib::Request& req, httplib::Response& res)
{
    const int uid = state.uidForToken(param(req, "token"));
    if (uid == 0)
        sendJson(res, QJsonObject { { "code", 400 }, { "msg", QStringLiteral("登录已失效，请重新登录") } });
    return uid;
}

void DevsiteServer::configure(httplib::Server& server, Listener listener)
{
    server.new_task_queue = [] { return new Pool; };
    server.set_payload_max_length(kMaxBody);
    server.set_keep_alive_max_count(1000);
    server.set_keep_alive_timeout(5);
    server.set_read_timeout(30);
    server.set_write_timeout(30);
    // Answers go out as two writes (head, then body); with Nagle's algorithm the second waits
    // for the client's delayed ACK of the first, about 40 ms per request on Linux.
    server.set_tcp_nodelay(true);
    auto handler
        = [this, listener](const httplib::Request& req, httplib::Response& res) { dispatch(listener, req, res); };
    server.Get(".*", handler);
    if (listener == Listener::Upload && uploadThrottle) {
        server.Post(
            ".*",
            [this, listener](const httplib::Request& req, httplib::Response& res,
                             const httplib::ContentReader& reader) { receiveThrottled(listener, req, res, reader); });
    } else {
        server.Post(".*", handler);
    }
    server.Put(".*", handler);
    server.Delete(".*", handler);
    server.Patch(".*", handler);
    server.Options(".*", handler);
    // A body announced too large (or not as a number) is refused before it is read, and the
    // connection closed, so the unread bytes are never taken for a next request.
    server.set_pre_routing_handler([this, listener](const httplib::Request& req, httplib::Response& res) {
        if (!req.has_header("Content-Length"))
            return httplib::Server::HandlerResponse::Unhandled;
        const std::string text = req.get_header_value("Content-Length");
        const bool digits = !text.empty() && text.size() <= 12
            && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (digits && std::stoll(text) <= kMaxBody)
            return httplib::Server::HandlerResponse::Unhandled;
        const int index = log.record(listener == Listener::Https ? "https" : "upload", req);
        sendError(res, digits ? 413 : 400, digits ? "body too large" : "Content-Length is not a number");
        res.set_header("Connection", "close");
        log.setStatus(index, res.status);
        return httplib::Server::HandlerResponse::Handled;
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        sendError(res, 500, "internal error");
    });
}

// Reads the body through the upload port's token bucket (the admin API passes freely), then
// handles the request as any other. The sender is held back by TCP flow control while the
// bucket is empty, as behind a slow link. The request log's digest of the body is taken while
// it comes in, in the time the bucket leaves, so that the answer does not wait for it.
void DevsiteServer::receiveThrottled(Listener listener, const httplib::Request& req, httplib::Response& res,
                                     const httplib::ContentReader& reader)
{
    const bool admin = req.path.rfind("/__devsite/", 0) == 0;
    std::string body;
    const std::string length = req.get_header_value("Content-Length");
    if (!length.empty())
        body.reserve(size_t(std::min<long long>(std::atoll(length.c_str()), kMaxBody)));
    QCryptographicHash digest(QCryptographicHash::Md5);
    auto receive = [&](const char* data, size_t n) {
        if (!admin)
            uploadThrottle->take(n, !body.empty());
        body.append(data, n);
        digest.addData(data, int(n));
        return true;
    };
    // No service of this port takes multipart bodies; their parts are kept one after another.
    const bool complete = req.is_multipart_form_data()
        ? reader([](const httplib::MultipartFormData&) { return true; }, receive)
        : reader(receive);
    if (!complete) {
        res.status = 400; // the connection ended inside the body, as unthrottled reading refuses it
        return;
    }
    httplib::Request whole = req;
    whole.body = std::move(body);
    dispatch(listener, whole, res, digest.result().toHex());
}

bool DevsiteServer::start(QString* error)
{
    if (!state.open(cfg.stateDir, error))
        return false;
    if (!state.hasAssets()) {
        const QString sampleMd5 = QString::fromLatin1(
            QCryptographicHash::hash(seed::knownSampleContent(), QCryptographicHash::Md5).toHex());
        state.addKnownMd5(sampleMd5, "170001", QStringLiteral("人教版七年级数学上册1.2 有理数课件"));
        for (const QJsonObject& row : seed::initialAssets(QDateTime::currentSecsSinceEpoch())) {
            state.insertAsset(row);
            state.addKnownMd5(row.value("file_md5").toString(), row.value("itemid").toString(),
                              row.value("subject").toString());
        }
    }
    Certificates certs;
    if (!certs.ensure(state.stateDir(), error))
        return false;

    registerAdminApi(*this);
    registerAccountApi(*this);
    registerUploadService(*this);
    registerSiteApi(*this);
    registerGainsApi(*this);
    registerStaticFiles(*this);

    const std::string certFile = QFile::encodeName(certs.certFile).toStdString();
    const std::string keyFile = QFile::encodeName(certs.keyFile).toStdString();
    https = std::make_unique<httplib::SSLServer>([certFile, keyFile](SSL_CTX& ctx) {
        // The client may ask for old protocol versions; accept everything from TLS 1.0 up.
        SSL_CTX_set_security_level(&ctx, 0);
        SSL_CTX_set_min_proto_version(&ctx, TLS1_VERSION);
        SSL_CTX_set_cipher_list(&ctx, "DEFAULT:@SECLEVEL=0");
        return SSL_CTX_use_certificate_chain_file(&ctx, certFile.c_str()) == 1
            && SSL_CTX_use_PrivateKey_file(&ctx, keyFile.c_str(), SSL_FILETYPE_PEM) == 1
            && SSL_CTX_check_private_key(&ctx) == 1;
    });
    if (!https->is_valid()) {
        *error = "cannot set up TLS with " + certs.certFile;
        return false;
    }
    upload = std::make_unique<httplib::Server>();
    if (cfg.throttleMbit > 0) {
        // The bucket holds 2 ms of the rate: enough to smooth the reads, too little to hide a pause.
        const double rate = cfg.throttleMbit * 1e6 / 8;
        uploadThrottle = std::make_unique<Throttle>(rate, std::max(4096.0, rate * 0.002));
    }
    configure(*https, Listener::Https);
    configure(*upload, Listener::Upload);

    httpsBound = cfg.httpsPort == 0 ? https->bind_to_any_port("127.0.0.1")
                                    : (https->bind_to_port("127.0.0.1", cfg.httpsPort) ? cfg.httpsPort : -1);
    if (httpsBound <= 0) {
        *error = QString("cannot listen on HTTPS port %1").arg(cfg.httpsPort);
        return false;
    }
    uploadBound = cfg.uploadPort == 0 ? upload->bind_to_any_port("127.0.0.1")
                                      : (upload->bind_to_port("127.0.0.1", cfg.uploadPort) ? cfg.uploadPort : -1);
    if (uploadBound <= 0) {
        *error = QString("cannot listen on upload port %1").arg(cfg.uploadPort);
        return false;
    }

    running = 2;
    auto serve = [this](httplib::Server* s) {
        s->listen_after_bind();
        std::lock_guard<std::mutex> lock(doneMutex);
        --running;
        doneWake.notify_all();
    };
    httpsThread = std::thread(serve, https.get());
    uploadThread = std::thread(serve, upload.get());
    return writePortsFile(error);
}

bool DevsiteServer::writePortsFile(QString* error)
{
    const QByteArray text = QString("https=%1\nupload=%2\n").arg(httpsBound).arg(uploadBound).toLatin1();
    fwrite(text.constData(), 1, size_t(text.size()), stdout);
    fflush(stdout);
    if (cfg.portsFile.isEmpty())
        return true;
    // Readers poll for the file: let it appear complete or not at all.
    const QString tmp = cfg.portsFile + ".tmp";
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size()) {
        *error = "cannot write " + tmp;
        return false;
    }
    f.close();
    QFile::remove(cfg.portsFile);
    if (!QFile::rename(tmp, cfg.portsFile)) {
        *error = "cannot rename " + tmp;
        return false;
    }
    return true;
}

void DevsiteServer::stop()
{
    log.shutdown();
    if (https)
        https->stop();
    if (upload)
        upload->stop();
}

bool DevsiteServer::waitStopped(int ms)
{
    std::unique_lock<std::mutex> lock(doneMutex);
    return doneWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return running == 0; });
}

bool DevsiteServer::applyFault(const RequestLog::Fault& fault, const httplib::Request& req, httplib::Response& res)
{
    if (fault.kind != RequestLog::FaultKind::Delay && fault.kind != RequestLog::FaultKind::None && fault.delayMs > 0)
        log.pause(fault.delayMs);
    switch (fault.kind) {
    case RequestLog::FaultKind::None:
    case RequestLog::FaultKind::Cut: // spoils the real answer afterwards
        return false;
    case RequestLog::FaultKind::Delay:
        log.pause(fault.delayMs);
        return false; // then answered as usual
    case RequestLog::FaultKind::Status:
        res.status = fault.status;
        res.set_content("<html><body>devsite fault</body></html>", "text/html");
        return true;
    case RequestLog::FaultKind::SessionInvalid:
        sendJson(res, QJsonObject { { "code", 400 }, { "msg", QStringLiteral("登录已失效，请重新登录") } });
        return true;
    case RequestLog::FaultKind::Body:
        res.status = 200;
        res.set_content(fault.body.toStdString(), "application/json; charset=utf-8");
        return true;
    case RequestLog::FaultKind::Hang:
        log.pause(10 * 60 * 1000);
        dropConnection(req);
        res.status = 599;
        return true;
    case RequestLog::FaultKind::Drop:
        dropConnection(req);
        res.status = 599;
        return true;
    }
    return false;
}

void DevsiteServer::dispatch(Listener listener, const httplib::Request& req, httplib::Response& res,
                             const QByteArray& bodyMd5)
{
    const QString path = qs(req.path);
    const QString method = qs(req.method) == "HEAD" ? QStringLiteral("GET") : qs(req.method);
    const bool isAdmin = path.startsWith("/__devsite/");
    const int index = isAdmin ? -1 : log.record(listener == Listener::Https ? "https" : "upload", req, bodyMd5);

    const RequestLog::Fault fault = isAdmin ? RequestLog::Fault() : log.takeFault(path);
    if (applyFault(fault, req, res)) {
        log.setStatus(index, res.status == 599 ? -1 : res.status);
        return;
    }

    const QHash<QString, Handler>& routes = listener == Listener::Https ? httpsRoutes : uploadRoutes;
    const QString key = method + " " + path;
    const auto it = routes.constFind(key);
    const Handler* handler = it == routes.constEnd() ? nullptr : &it.value();
    if (!handler) {
        for (const auto& p : listener == Listener::Https ? httpsPrefixes : uploadPrefixes) {
            if (key.startsWith(p.first)) {
                handler = &p.second;
                break;
            }
        }
    }
    if (!handler) {
        const bool otherMethod = routes.contains("GET " + path) || routes.contains("POST " + path);
        if (otherMethod)
            sendError(res, 405, "method not allowed: " + method + " " + path);
        else
            sendError(res, 404, "no such page: " + path);
    } else {
        (*handler)(req, res);
    }
    if (res.status < 0)
        res.status = 200;
    if (fault.kind == RequestLog::FaultKind::Cut)
        spoilBody(res, fault.body.toStdString());
    log.setStatus(index, res.status);
}
