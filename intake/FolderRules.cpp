#include "intake/FolderRules.h"

#include "intake/ArchiveTools.h"
#include "intake/FileTypes.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <dirent.h>
#endif

namespace {

// Whether every name the folder holds can be read as text and written back to the same bytes.
// Names in another encoding would be seen by the rules as something else (or as nothing at
// all) while a packer reads the real entry. Hidden names are left out of the pack anyway.
// Line breaks cannot be named to the packer either. Elsewhere names are Unicode already.
bool namesReadable(const QString& folder)
{
#ifdef Q_OS_UNIX
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return true; // an unreadable folder shows no entries to the rules, nor to the packer
    bool readable = true;
    while (const dirent* entry = readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (raw.startsWith('.'))
            continue;
        const QString name = QFile::decodeName(raw);
        if (QFile::encodeName(name) != raw || name.contains('\n') || name.contains('\r')) {
            readable = false;
            break;
        }
    }
    closedir(dir);
    return readable;
#else
    Q_UNUSED(folder)
    return true;
#endif
}

} // namespace

void checkFolder(const QFileInfo& folder, QStringList& files, int& fileCount, qint64& totalSize, int level,
                 const QStringList& allowedSuffixList, bool& ok, QString& message)
{
    if (!ok)
        return;
    if (!namesReadable(folder.absoluteFilePath())) {
        ok = false;
        message = QString::fromUtf8("文件夹含有不支持的其他格式文件");
        return;
    }
    const QFileInfoList entries
        = QDir(folder.absoluteFilePath())
              .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink())
            continue;
        if (entry.isDir()) {
            const int subLevel = level + 1;
            if (subLevel > kMaxFolderLevel) {
                ok = false;
                message = QString::fromUtf8("文件夹层级目录太深");
                return;
            }
            checkFolder(entry, files, fileCount, totalSize, subLevel, allowedSuffixList, ok, message);
            continue;
        }
        if (isArchiveFile(entry)) {
            ok = false;
            message = QString::fromUtf8("文件夹内不允许含有压缩包");
            return;
        }
        if (fileCount >= kMaxFolderFiles) {
            ok = false;
            message = QString::fromUtf8("文件夹内文件太多，最多允许200个文件");
            return;
        }
        if (totalSize + entry.size() > kMaxFolderSize) {
            ok = false;
            message = QString::fromUtf8("文件夹最大允许2G大小");
            return;
        }
        // Pipes, sockets and devices are neither judged nor packed.
        if (!entry.isFile())
            continue;
        if (!allowedSuffixList.contains(entry.suffix().toLower())) {
            ok = false;
            message = QString::fromUtf8("文件夹含有不支持的其他格式文件");
            return;
        }
        files.append(entry.absoluteFilePath());
        ++fileCount;
        totalSize += entry.size();
    }
}

QString acceptDroppedPath(const QString& localPath, const QStringList& allowedSuffixList, const QString& tmpDir,
                          QStringList& errors)
{
    if (localPath.isEmpty())
        return QString();
    const QFileInfo info(localPath);
    if (info.isSymLink())
        return QString();
    if (!info.isDir()) {
        if (!info.isFile() || info.size() > kMaxDroppedFileSize)
            return QString();
        return allowedSuffixList.contains(info.suffix().toLower()) ? localPath : QString();
    }
    QStringList files;
    int fileCount = 0;
    qint64 totalSize = 0;
    bool ok = true;
    QString message;
    checkFolder(info, files, fileCount, totalSize, 1, allowedSuffixList, ok, message);
    if (!ok) {
        if (!message.isEmpty())
            errors.append(message);
        return QString();
    }
    QString zipPath;
    if (zipFolder(info.absoluteFilePath(), files, tmpDir, zipPath) && !zipPath.isEmpty())
        return zipPath;
    errors.append(info.completeBaseName() + QString::fromUtf8("\r\n文件夹打包压缩失败!"));
    return QString();
}
