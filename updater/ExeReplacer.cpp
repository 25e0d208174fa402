#include "ExeReplacer.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

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

} // namespace

ExeReplacer::ExeReplacer(const QString& dir, const QString& version)
    : folder(dir)
    , downloadFile(folder.downloadPath(version))
{
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
    if (QFileInfo::exists(mainPath()))
        permissions = QFile::permissions(mainPath());
    if (!QFile::setPermissions(downloadFile, permissions))
        return fail(QStringLiteral("cannot set the permissions of %1").arg(downloadFile));
    return true;
}

bool ExeReplacer::swapIn()
{
    const QString main = mainPath();
    const QString backup = backupPath();
    // A start finishes or undoes any earlier swap; a backup still here could not be removed.
    if (QFileInfo::exists(backup))
        return fail(QStringLiteral("an earlier backup %1 is still there").arg(backup));
    const bool hadMain = QFileInfo::exists(main);
    if (hadMain) {
        if (!InstallFolder::linkOrCopy(main, backup))
            return fail(QStringLiteral("cannot keep %1 as the backup").arg(main));
        // The backup must be on disk before the program's name points elsewhere.
        InstallFolder::sync(folder.dir());
    }
    if (!InstallFolder::replace(downloadFile, main)) {
        if (hadMain)
            QFile::remove(backup); // the program is unchanged: its second name is not needed
        InstallFolder::sync(folder.dir());
        return fail(QStringLiteral("cannot rename %1 to %2").arg(downloadFile, main));
    }
    InstallFolder::sync(folder.dir());
    return true;
}

bool ExeReplacer::rollBack()
{
    if (!QFileInfo::exists(backupPath()))
        return fail(QStringLiteral("no backup to put back"));
    if (!InstallFolder::replace(backupPath(), mainPath()))
        return fail(QStringLiteral("cannot put %1 back").arg(backupPath()));
    InstallFolder::sync(folder.dir());
    return true;
}

bool ExeReplacer::dropBackup()
{
    if (QFileInfo::exists(backupPath()) && !QFile::remove(backupPath()))
        return fail(QStringLiteral("cannot remove %1; the next start removes it").arg(backupPath()));
    InstallFolder::sync(folder.dir());
    return true;
}
