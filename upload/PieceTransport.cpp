#include "upload/PieceTransport.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QLocale>
#include <QNetworkProxyFactory>
#include <QNetworkRequest>
#include <QUrl>
#include <curl/curl.h>
#include <mutex>

namespace {

// Larger than curl's 64 KiB default so that a piece leaves in a few writes; still well under a
// piece, so that a worker holds little more than the piece it reads.
constexpr long kUploadBuffer = 512 * 1024;
constexpr long kPollMs = 20;

size_t discardBody(char*, size_t size, size_t count, void*)
{
    return size * count;
}

// What Qt's client sends for Accept-Language, from the system locale.
QByteArray acceptLanguage()
{
    const QString locale = QLocale::system().name().replace(QLatin1Char('_'), QLatin1Char('-'));
    if (locale == QLatin1String("C"))
        return "en,*";
    if (locale.startsWith(QLatin1String("en-")))
        return (locale + QLatin1String(",*")).toLatin1();
    return (locale + QLatin1String(",en,*")).toLatin1();
}

// The proxy Qt's access manager would take for this URL (application proxy, or the system's
// when the program asks for it), as a curl proxy string; "" means none, also not the
// environment's, exactly as Qt does.
void applyProxy(CURL* easy, const QUrl& url)
{
    QByteArray address, user, password;
    for (const QNetworkProxy& p : QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url))) {
        const QByteArray hostPort = p.hostName().toUtf8() + ':' + QByteArray::number(p.port());
        if (p.type() == QNetworkProxy::NoProxy)
            break;
        if (p.type() == QNetworkProxy::HttpProxy || p.type() == QNetworkProxy::HttpCachingProxy)
            address = "http://" + hostPort;
        else if (p.type() == QNetworkProxy::Socks5Proxy)
            address = "socks5h://" + hostPort;
        else
            continue;
        user = p.user().toUtf8();
        password = p.password().toUtf8();
        break;
    }
    curl_easy_setopt(easy, CURLOPT_PROXY, address.constData());
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, user.isEmpty() ? nullptr : user.constData());
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, password.isEmpty() ? nullptr : password.constData());
}

// The piece being sent: curl asks for the next bytes of it into its own send buffer.
struct PieceBody
{
    QIODevice& device;
    const qint64 start;
    qint64 left;
    bool shortRead = false;
};

size_t readBody(char* buffer, size_t size, size_t count, void* user)
{
    auto* body = static_cast<PieceBody*>(user);
    const qint64 want = qMin<qint64>(qint64(size * count), body->left);
    if (want == 0)
        return 0;
    const qint64 got = body->device.read(buffer, want);
    if (got <= 0) {
        body->shortRead = true;
        return CURL_READFUNC_ABORT;
    }
    body->left -= got;
    return size_t(got);
}

// Only asked for when curl must send the piece again from its start.
int seekBody(void* user, curl_off_t offset, int origin)
{
    auto* body = static_cast<PieceBody*>(user);
    const qint64 length = body->left + body->device.pos() - body->start;
    if (origin != SEEK_SET || offset < 0 || offset > length || !body->device.seek(body->start + offset))
        return CURL_SEEKFUNC_CANTSEEK;
    body->left = length - offset;
    return CURL_SEEKFUNC_OK;
}

curl_off_t bytesMoved(CURL* easy)
{
    curl_off_t up = 0, down = 0;
    long head = 0;
    curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &up);
    curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &down);
    curl_easy_getinfo(easy, CURLINFO_HEADER_SIZE, &head);
    return up + down + head;
}

} // namespace

size_t PieceTransport::keepStatusLine(char* data, size_t size, size_t count, void* user)
{
    const QByteArray line(data, int(size * count));
    // After an interim answer the final one comes; the last status line counts.
    if (line.startsWith("HTTP/"))
        *static_cast<QByteArray*>(user) = line.trimmed();
    return size * count;
}

QString PieceTransport::reasonPhrase(const QByteArray& statusLine)
{
    // "HTTP/1.1 500 Internal Server Error": the phrase after the code.
    const int space = statusLine.indexOf(' ', statusLine.indexOf(' ') + 1);
    return space > 0 ? QString::fromLatin1(statusLine.mid(space + 1)) : QString();
}

PieceTransport::PieceTransport()
{
    static std::once_flag once;
    std::call_once(once, []() { curl_global_init(CURL_GLOBAL_DEFAULT); });
    multi = curl_multi_init();
    easy = curl_easy_init();
    CURL* e = static_cast<CURL*>(easy);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBuffer);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, discardBody);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, keepStatusLine);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &statusLine);
    // The worker's stall limit decides when a piece has hung; no redirects, like Qt's default.
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, 0L);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
}

PieceTransport::~PieceTransport()
{
    curl_easy_cleanup(static_cast<CURL*>(easy));
    curl_multi_cleanup(static_cast<CURLM*>(multi));
}

QList<QByteArray> PieceTransport::headerLines(const QNetworkRequest& request)
{
    QList<QByteArray> lines;
    QByteArray length;
    for (const QByteArray& name : request.rawHeaderList()) {
        const QByteArray line = name + ": " + request.rawHeader(name);
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            length = line;
        else
            lines << line;
    }
    // Qt's order: the request's own headers, then the length and its defaults.
    if (!length.isEmpty())
        lines << length;
    lines << "Connection: Keep-Alive"
          << "Accept-Encoding: gzip, deflate"
          << "Accept-Language: " + acceptLanguage();
    return lines;
}

int PieceTransport::post(const QNetworkRequest& request, QIODevice& body, qint64 length,
                         const std::atomic<bool>& cancel, int stallMs, QString& reason)
{
    CURLM* m = static_cast<CURLM*>(multi);
    CURL* e = static_cast<CURL*>(easy);
    reason.clear();
    statusLine.clear();

    const QUrl url = request.url();
    const QByteArray address = url.toEncoded();
    curl_slist* headers = nullptr;
    for (const QByteArray& line : headerLines(request))
        headers = curl_slist_append(headers, line.constData());
    // curl's own additions that Qt never sent.
    headers = curl_slist_append(headers, "Accept:");
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(e, CURLOPT_URL, address.constData());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers);
    PieceBody piece { body, body.pos(), length };
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(length));
    curl_easy_setopt(e, CURLOPT_READFUNCTION, readBody);
    curl_easy_setopt(e, CURLOPT_READDATA, &piece);
    curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, seekBody);
    curl_easy_setopt(e, CURLOPT_SEEKDATA, &piece);
    applyProxy(e, url);

    curl_multi_add_handle(m, e);
    QElapsedTimer quiet;
    quiet.start();
    curl_off_t moved = -1;
    bool cut = false;
    int running = 1;
    while (curl_multi_perform(m, &running) == CURLM_OK && running) {
        const curl_off_t now = bytesMoved(e);
        if (now != moved) {
            moved = now;
            quiet.restart();
        }
        if (cancel || quiet.elapsed() >= stallMs) {
            cut = true;
            break;
        }
        curl_multi_poll(m, nullptr, 0, kPollMs, nullptr);
    }
    CURLcode result = CURLE_OK;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m, &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == e)
            result = msg->data.result;
    }
    long code = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &code);
    // An unfinished transfer leaves its connection closed; the next piece connects anew.
    curl_multi_remove_handle(m, e);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(e, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(e, CURLOPT_SEEKDATA, nullptr);
    curl_slist_free_all(headers);

    if (piece.shortRead)
        return kBodyShort;
    if (cut || (result != CURLE_OK && (code == 200 || code == 201)))
        return 0;
    if (code != 0)
        reason = reasonPhrase(statusLine);
    return int(code);
}
