#pragma once

#include <QString>
#include <QThread>
#include <functional>

class QIODevice;

// Computes the MD5 of one file on its own short-lived thread; the result leaves by s_md5.
class MyFileMd5Thread : public QThread
{
    Q_OBJECT

public:
    // Starts the thread at once unless `startNow` is false (a caller that still has to connect
    // to s_md5 starts it itself, or a fast run could emit before anyone listens).
    explicit MyFileMd5Thread(const QString& filePath, QObject* parent = nullptr, bool startNow = true);
    // Asks a run still going to give up (its digest is then empty) and waits for it.
    ~MyFileMd5Thread() override;

    // Lower-case hex MD5 of a file, or empty when it cannot be opened or read completely.
    static QString md5OfFile(const QString& filePath);
    // Same for `size` bytes of an open device: one read up to 5 MiB, 10240-byte blocks above.
    static QString md5OfDevice(QIODevice* device, qint64 size);
    // Computes the MD5 of a file on a thread of its own; `callback` gets it on the thread of
    // `context`; the run goes with `context` if that goes first.
    static void compute(const QString& filePath, QObject* context, std::function<void(QString)> callback);

    static constexpr qint64 kWholeReadLimit = 5242880;
    static constexpr int kBlockSize = 10240;

signals:
    void s_md5(QString md5);

protected:
    void run() override;

private:
    const QString path;
};
