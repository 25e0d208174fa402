#include "ExeReplacer.h"

#include "Util.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// The first bytes of a program this system can run.
bool looksExecutable(const QByteArray& body)
{
#if defined(Q_OS_WIN)
    return body.startsWith("MZ");
#elif defined(Q_OS_MACOS)
    static const char* const magics[] = { "\xcf\xfa\xed\xfe", "\xce\xfa\xed\xfe", "\xca\xfe\xba\xbe" };
    for (const char* m : magics)
        if (body.startsWith(QByteArray(m, 4)))
            return true;
    return false;
#else
    return body.startsWith("\x7f"
                           "ELF");
#endif
}

bool syncToDisk(QFile& file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

// Renames are only durable once the folder itself is written out.
void syncFolder(const QString& dir)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(dir);
#endif
}

} // namespace

ExeReplacer::ExeReplacer(const QString& dir, const QString& version)
    : dir(dir)
    , mainFile(dir + QLatin1Char('/') + Util::executableName(QStringLiteral("Vantrel")))
    , downloadFile(dir + QLatin1Char('/') + Util::executableName(QStringLiteral("Vantrel-%1").arg(version)))
    , backupFile(mainFile + QStringLiteral(".bak"))
{
}

QString ExeReplacer::verify(const QByteArray& body, qint64 announced, const QString& sha256Hex)
{
    if (announced >= 0 && announced != body.size())
        return QStringLiteral("received %1 of %2 bytes").arg(body.size()).arg(announced);
    if (body.isEmpty())
        return QStringLiteral("empty body");
    if (!looksExecutable(body))
        return QStringLiteral("not a program of this system");
    if (!sha256Hex.isEmpty()) {
        const QByteArray digest = QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
        if (QString::fromLatin1(digest).compare(sha256Hex.trimmed(), Qt::CaseInsensitive) != 0)
            return QStringLiteral("SHA-256 differs from the published one");
    }
    return QString();
}

bool ExeReplacer::fail(const QString& text)
{
    why = text;
    return false;
}

bool ExeReplacer::writeDownload(const QByteArray& body)
{
    QFile file(downloadFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("cannot write %1: %2").arg(downloadFile, file.errorString()));
    if (file.write(body) != body.size() || !syncToDisk(file)) {
        const QString text = file.errorString();
        file.close();
        QFile::remove(downloadFile);
        return fail(QStringLiteral("cannot write %1: %2").arg(downloadFile, text));
    }
    file.close();

    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    if (QFileInfo::exists(mainFile))
        permissions = QFile::permissions(mainFile);
    if (!QFile::setPermissions(downloadFile, permissions))
        return fail(QStringLiteral("cannot set the permissions of %1").arg(downloadFile));
    return true;
}

bool ExeReplacer::swapIn()
{
    const bool hadMain = QFileInfo::exists(mainFile);
    if (hadMain) {
        if (QFileInfo::exists(backupFile) && !QFile::remove(backupFile))
            return fail(QStringLiteral("cannot remove the old backup %1").arg(backupFile));
        if (!QFile::rename(mainFile, backupFile))
            return fail(QStringLiteral("cannot move %1 aside").arg(mainFile));
    }
    if (!QFile::rename(downloadFile, mainFile)) {
        if (hadMain)
            QFile::rename(backupFile, mainFile);
        syncFolder(dir);
        return fail(QStringLiteral("cannot rename %1 to %2").arg(downloadFile, mainFile));
    }
    syncFolder(dir);
    return true;
}

bool ExeReplacer::rollBack()
{
    if (!QFileInfo::exists(backupFile))
        return fail(QStringLiteral("no backup to put back"));
    // The new program did not run: nothing worth keeping.
    if (QFileInfo::exists(mainFile) && !QFile::remove(mainFile))
        return fail(QStringLiteral("cannot remove the new %1").arg(mainFile));
    const bool back = QFile::rename(backupFile, mainFile);
    syncFolder(dir);
    return back || fail(QStringLiteral("cannot put %1 back").arg(backupFile));
}

void ExeReplacer::dropBackup()
{
    QFile::remove(backupFile);
}
