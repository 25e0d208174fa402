#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstddef>

class QNetworkRequest;

class QIODevice;

// Sends the pieces of one upload worker over HTTP with libcurl: each piece is read from the file
// straight into curl's send buffer and goes to the socket in large writes with Nagle's algorithm
// off, on the calling thread, with no second thread and no copy of the piece in between (Qt's
// client feeds an upload 16 KiB per event-loop round, through its own HTTP thread). One
// connection is kept alive between pieces. Create, use and destroy it on the worker's own thread.
class PieceTransport
{
public:
    PieceTransport();
    ~PieceTransport();
    PieceTransport(const PieceTransport&) = delete;
    PieceTransport& operator=(const PieceTransport&) = delete;

    // What post() returns when `body` ended before `length` bytes (the file shrank while it was
    // sent); the transfer was cut.
    static constexpr int kBodyShort = -1;

    // POSTs the next `length` bytes of `body` (open, at the piece's first byte; best opened
    // unbuffered) with the URL and headers of `request` (the proxy is the one Qt would use for
    // that URL). Waits until the answer's head and body have come, no byte has moved for
    // `stallMs`, or `cancel` is set (checked every 20 ms); the last two cut the connection.
    // Returns the HTTP status, 0 when no answer came, kBodyShort; `reason` gets the reason phrase.
    int post(const QNetworkRequest& request, QIODevice& body, qint64 length, const std::atomic<bool>& cancel,
             int stallMs, QString& reason);

    // The header lines sent for `request`: the ones it names, in its order, and those Qt's
    // client adds besides Host (so the service sees what it always saw).
    static QList<QByteArray> headerLines(const QNetworkRequest& request);

    // The answer's header callback: keeps the last status line in the QByteArray at `statusLine`.
    static size_t keepStatusLine(char* data, size_t size, size_t count, void* statusLine);
    // The reason phrase of a status line ("HTTP/1.1 500 Internal Server Error"); empty without one.
    static QString reasonPhrase(const QByteArray& statusLine);

private:
    void* multi = nullptr; // CURLM
    void* easy = nullptr; // CURL, reused so that its connection is
    QByteArray statusLine;
};
