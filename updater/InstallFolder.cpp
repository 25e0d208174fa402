#include "InstallFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
const char* const kSuffix = ".exe";
#else
const char* const kSuffix = "";
#endif

QString program(const QString& stem)
{
    return stem + QLatin1String(kSuffix);
}

bool exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

#ifdef Q_OS_WIN
std::wstring native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}
#endif

bool sameFile(const QString& a, const QString& b)
{
#ifdef Q_OS_WIN
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca.compare(QFileInfo(b).canonicalFilePath(), Qt::CaseInsensitive) == 0;
#else
    struct stat sa = {};
    struct stat sb = {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#endif
}

// A complete copy under `to`: written beside it, synced, then renamed over it.
bool copyWhole(const QString& from, const QString& to)
{
    const QString part = to + QStringLiteral(".tmp");
    QFile::remove(part);
    QFile in(from);
    QFile out(part);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    bool ok = true;
    while (ok && !in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        ok = !chunk.isEmpty() && out.write(chunk) == chunk.size();
    }
    ok = ok && out.flush();
#ifdef Q_OS_WIN
    ok = ok && FlushFileBuffers(HANDLE(_get_osfhandle(out.handle())));
#else
    ok = ok && ::fsync(out.handle()) == 0;
#endif
    out.close();
    ok = ok && QFile::setPermissions(part, QFile::permissions(from)) && InstallFolder::replace(part, to);
    if (!ok)
        QFile::remove(part);
    return ok;
}

} // namespace

InstallFolder::InstallFolder(const QString& dir)
    : folder(dir)
{
}

QString InstallFolder::mainPath() const
{
    return folder + QLatin1Char('/') + program(QStringLiteral("Vantrel"));
}

QString InstallFolder::backupPath() const
{
    return mainPath() + QStringLiteral(".bak");
}

QString InstallFolder::downloadPath(const QString& version) const
{
    return folder + QLatin1Char('/') + program(QStringLiteral("Vantrel-") + version);
}

bool InstallFolder::looksExecutable(const QByteArray& head)
{
#if defined(Q_OS_WIN)
    return head.startsWith("MZ");
#elif defined(Q_OS_MACOS)
    static const char* const magics[] = { "\xcf\xfa\xed\xfe", "\xce\xfa\xed\xfe", "\xca\xfe\xba\xbe" };
    for (const char* m : magics)
        if (head.startsWith(QByteArray(m, 4)))
            return true;
    return false;
#else
    return head.startsWith("\x7f"
                           "ELF");
#endif
}

bool InstallFolder::runnable(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && looksExecutable(file.read(4));
}

bool InstallFolder::sameBytes(const QString& a, const QString& b)
{
    if (sameFile(a, b))
        return true;
    QFile fa(a);
    QFile fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd()) {
        const QByteArray chunk = fa.read(1 << 20);
        if (chunk.isEmpty() || chunk != fb.read(chunk.size()))
            return false;
    }
    return true;
}

bool InstallFolder::linkOrCopy(const QString& from, const QString& to)
{
#ifdef Q_OS_WIN
    if (CreateHardLinkW(native(to).c_str(), native(from).c_str(), nullptr))
        return true;
    if (exists(to))
        return false;
#else
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    // File systems without hard links (FAT, some network shares) get a copy.
    if (errno != EPERM && errno != EXDEV && errno != EOPNOTSUPP && errno != ENOTSUP && errno != EMLINK
        && errno != ENOSYS)
        return false;
#endif
    return copyWhole(from, to);
}

bool InstallFolder::replace(const QString& from, const QString& to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(native(from).c_str(), native(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

void InstallFolder::sync(const QString& dir)
{
#ifdef Q_OS_WIN
    Q_UNUSED(dir); // moves are written through
#else
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

QStringList InstallFolder::recover(Unproven how)
{
    QStringList done;
    const QString main = mainPath();
    const QString backup = backupPath();
    auto note = [&done](bool ok, const QString& what) { done << (ok ? what : QStringLiteral("cannot ") + what); };

    if (exists(backup)) {
        if (!runnable(main)) {
            if (runnable(backup))
                note(replace(backup, main), QStringLiteral("put the backup back in place of a missing program"));
        } else if (sameBytes(main, backup)) {
            note(QFile::remove(backup), QStringLiteral("remove a backup identical to the program"));
        } else if (how == Unproven::Drop) {
            note(QFile::remove(backup), QStringLiteral("remove the backup of a program that works"));
        } else if (how == Unproven::Undo && runnable(backup)) {
            note(replace(backup, main), QStringLiteral("put back the program an unfinished update replaced"));
        }
    }

    // Downloads of any version, and the copy a backup is made from where links are impossible.
    static const QRegularExpression leftover(
        QStringLiteral("^Vantrel(-[0-9A-Za-z._+~-]+%1|%1\\.bak\\.tmp)$").arg(QRegularExpression::escape(kSuffix)),
        QRegularExpression::CaseInsensitiveOption);
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden);
    for (const QString& name : names) {
        if (leftover.match(name).hasMatch())
            note(QFile::remove(folder + QLatin1Char('/') + name), QStringLiteral("remove the leftover ") + name);
    }
    if (!done.isEmpty())
        sync(folder);
    return done;
}

QStringList InstallFolder::recoverAtStart(const QString& programPath)
{
    return InstallFolder(QFileInfo(programPath).absolutePath()).recover(Unproven::Keep);
}

QStringList InstallFolder::confirmRunning(const QString& programPath)
{
    InstallFolder folder(QFileInfo(programPath).absolutePath());
    if (!exists(folder.backupPath()) || !sameFile(programPath, folder.mainPath()))
        return {};
    return folder.recover(Unproven::Drop);
}
