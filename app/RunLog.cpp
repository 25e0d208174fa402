#include "app/RunLog.h"

#include "app/Clock.h"
#include "app/DataPaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QRegularExpression>
#include <QTextStream>

namespace {

constexpr int kMessageLimit = 200;
// A huge reply body is cut before it is searched for secrets; the line keeps only 200
// characters anyway.
constexpr int kRedactLimit = 64 * 1024;

QMutex logMutex;

QString logFileName(int level, const QDateTime& now)
{
    const QString date = now.date().toString(QStringLiteral("yyyy-MM-dd"));
    if (level == 0)
        return DataPaths::dataDir() + QStringLiteral("/log0-%1.log.txt").arg(date);
    return DataPaths::dataDir() + QStringLiteral("/log%2-%1.log.txt").arg(date).arg(level);
}

const QRegularExpression& jsonSecret()
{
    // "key" : value, where the value is a string (possibly cut off) or a bare word/number.
    // Empty values stay visible: they tell that nobody was logged in.
    static const QRegularExpression re(QStringLiteral(
        R"re(("(?:token|password|encryptkey|remember_encrypt_key)"\s*:\s*)(?:"(?:[^"\\]|\\.)+"?|[^,}\]\s"]+))re"));
    return re;
}

const QRegularExpression& querySecret()
{
    static const QRegularExpression re(
        QStringLiteral(R"re(([?&](?:token|password|encryptkey|remember_encrypt_key)=)[^&#\s]+)re"));
    return re;
}

} // namespace

QString redactSecrets(const QString& message)
{
    QString text = message.left(kRedactLimit);
    if (!text.contains(QLatin1String("token")) && !text.contains(QLatin1String("password"))
        && !text.contains(QLatin1String("encrypt")))
        return text;
    text.replace(jsonSecret(), QStringLiteral("\\1\"***\""));
    text.replace(querySecret(), QStringLiteral("\\1***"));
    return text;
}

void writeLog(const QString& message, int level)
{
    const QDateTime now = Clock::now();
    const QString line = QLocale::system().toString(now, QStringLiteral("hh:mm:ss ddd")) + QLatin1Char(' ')
        + redactSecrets(message).left(kMessageLimit) + QStringLiteral("\r\n");

    QMutexLocker lock(&logMutex);
    QFile file(logFileName(level, now));
    const bool existed = file.exists();
    // Binary append: the line ends in "\r\n" on every platform.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    if (!existed)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QTextStream out(&file);
    out << line;
    out.flush();
    file.close();
}

void purgeOldLogs(int days)
{
    const QDateTime now = Clock::now();
    QDir dir(DataPaths::dataDir());
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& info : files) {
        if (!info.fileName().endsWith(QLatin1String(".log.txt")) || !info.isFile() || info.isSymLink())
            continue;
        // Not every file system keeps a birth time; the last change is the next best age.
        QDateTime created = info.birthTime();
        if (!created.isValid())
            created = info.lastModified();
        if (!created.isValid())
            continue;
        const qint64 wholeDays = created.secsTo(now) / 86400;
        if (wholeDays > days)
            QFile::remove(info.absoluteFilePath());
    }
}
