#pragma once

// Test files of pseudo-random bytes with a known MD5, for the upload tests and the benchmarks.

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QString>

struct TestFile
{
    QString path;
    QString name;
    QString md5;
    qint64 size = 0;
};

// A file of `size` pseudo-random bytes (distinct per seed, so every test has its own MD5).
inline TestFile makeTestFile(const QString& dir, const QString& name, qint64 size, quint32 seed)
{
    TestFile f;
    f.name = name;
    f.path = dir + "/" + name;
    f.size = size;
    QFile out(f.path);
    if (!out.open(QIODevice::WriteOnly))
        return f;
    QRandomGenerator gen(seed);
    QCryptographicHash hash(QCryptographicHash::Md5);
    QByteArray block(65536, Qt::Uninitialized);
    for (qint64 left = size; left > 0;) {
        const int n = int(qMin<qint64>(left, block.size()));
        gen.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        out.write(block.constData(), n);
        hash.addData(block.constData(), n);
        left -= n;
    }
    f.md5 = QString::fromLatin1(hash.result().toHex());
    return f;
}
