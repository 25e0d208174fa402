#include "intake/MyFileMd5Thread.h"

#include <QFile>
#include <memory>
#include <openssl/evp.h>

namespace {

// OpenSSL's MD5 (assembler on x86-64) is measurably faster than QCryptographicHash's.
class Md5
{
public:
    Md5()
        : ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free)
    {
        ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) == 1;
    }
    void add(const char* data, qint64 n) { ok = ok && EVP_DigestUpdate(ctx.get(), data, size_t(n)) == 1; }
    // Lower-case hex, or empty when OpenSSL failed.
    QString hex()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!ok || EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1)
            return QString();
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
    }

private:
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx;
    bool ok = false;
};

} // namespace

MyFileMd5Thread::MyFileMd5Thread(const QString& filePath, QObject* parent, bool startNow)
    : QThread(parent)
    , path(filePath)
{
    if (startNow)
        start();
}

MyFileMd5Thread::~MyFileMd5Thread()
{
    requestInterruption();
    wait();
}

void MyFileMd5Thread::run()
{
    emit s_md5(md5OfFile(path));
}

QString MyFileMd5Thread::md5OfFile(const QString& filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString digest = md5OfDevice(&file, file.size());
    file.close();
    return digest;
}

QString MyFileMd5Thread::md5OfDevice(QIODevice* device, qint64 size)
{
    Md5 hash;
    if (size <= kWholeReadLimit) {
        const QByteArray all = device->read(size);
        // A short read means the file is not the one measured: no digest rather than a wrong one.
        if (all.size() != size)
            return QString();
        hash.add(all.constData(), all.size());
    } else {
        char block[kBlockSize];
        qint64 left = size;
        while (left > 0) {
            const qint64 want = qMin<qint64>(left, kBlockSize);
            const qint64 got = device->read(block, want);
            if (got <= 0 || QThread::currentThread()->isInterruptionRequested())
                return QString(); // a digest of part of the file would pass for the whole file's
            hash.add(block, got);
            left -= got;
        }
    }
    return hash.hex();
}

void MyFileMd5Thread::compute(const QString& filePath, QObject* context, std::function<void(QString)> callback)
{
    auto* thread
        = new MyFileMd5Thread(filePath, context->thread() == QThread::currentThread() ? context : nullptr, false);
    connect(thread, &MyFileMd5Thread::s_md5, context, [thread, callback](QString md5) {
        if (callback)
            callback(md5);
        // s_md5 is the run's last act; wait for it to return before letting go of the thread.
        thread->wait();
        thread->deleteLater();
    });
    thread->start();
}
