#pragma once

// One file's pieces described as a correct upload worker sends them.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

namespace devsitetest {

inline QByteArray md5Hex(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

// The pieces of one file as a correct client describes them.
struct UploadJob
{
    QByteArray content;
    QString md5;
    int uid = 10001;
    int fileId = 7;
    QDateTime created = QDateTime::fromSecsSinceEpoch(1699963200); // noon UTC, 14 Nov 2023
    QString suffix = "docx";

    explicit UploadJob(QByteArray bytes)
        : content(std::move(bytes))
        , md5(QString::fromLatin1(md5Hex(content)))
    {
    }

    QString sessionId() const { return QString("%1-%3-%2").arg(md5, created.toString("ddMMyyyy")).arg(uid); }
    QString saveAs() const
    {
        return QString("%4/vudedudiv%1%2_%6_%5_5_tool.%3")
            .arg(created.toString("yyyyMMdd"), md5, suffix, created.toString("yyyy/MM/dd"))
            .arg(fileId)
            .arg(uid);
    }
    QString signature(qint64 size) const
    {
        const QByteArray a = md5Hex(QByteArray::number(size) + "-TRQ");
        const QByteArray b = md5Hex("QRT-" + md5.toLatin1());
        return QString::fromLatin1(md5Hex(a + "Tq8R*vm%5L&7" + b));
    }
    QList<QPair<QByteArray, QByteArray>> headers(qint64 first, qint64 last) const
    {
        return { { "User-Agent", "tool" },
                 { "Content-Type", "application/octet-stream" },
                 { "Content-Disposition", "attachment; filename=教案.docx" },
                 { "X-Content-Range", QString("bytes %1-%2/%3").arg(first).arg(last).arg(content.size()).toLatin1() },
                 { "Session-ID", sessionId().toLatin1() },
                 { "Save-As", saveAs().toLatin1() },
                 { "X-Tool-Version", "2.28.1.210115" },
                 { "X-Signature", signature(content.size()).toLatin1() },
                 { "uid", QByteArray::number(uid) } };
    }
};

inline QByteArray patterned(int size, int seed)
{
    QByteArray data(size, '\0');
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = char(x >> 24);
    }
    return data;
}

} // namespace devsitetest
