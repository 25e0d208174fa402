#include "intake/ArchiveTools.h"

#include "app/RunLog.h"
#include "intake/ArchiveEntry.h"
#include "intake/ExternalTools.h"
#include "intake/FileTypes.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <QTimer>
#include <limits>
#include <memory>

const char* const kListingSeparator = "------------------- ----- ------------ ------------  ------------------------";

namespace {

constexpr int kMaxEntries = 1000;

// 7-Zip expands "*" and "?" in every name it is given, archive names included, and "a" would
// then pack or read whatever else matches. Names are legal with both; this makes them literal.
const char* const kLiteralNames = "-spd";

// What one archive may unpack to: the largest file a drop accepts. Extraction and the new zip
// both need room, and some space is left to the rest of the system.
constexpr qint64 kMaxExtractedSize = 2147483648LL;
constexpr qint64 kDiskReserve = 64LL * 1024 * 1024;
// How often a running extraction or packing is looked at.
constexpr int kWatchEveryMs = 250;

// Free bytes where `dir` lives, less the reserve; -1 when unknown.
qint64 freeSpaceFor(const QString& dir)
{
    QString existing = dir;
    while (!existing.isEmpty() && !QFileInfo(existing).isDir() && existing != QFileInfo(existing).path())
        existing = QFileInfo(existing).path();
    const QStorageInfo storage(existing);
    if (!storage.isValid() || storage.bytesAvailable() < 0)
        return -1;
    return storage.bytesAvailable() - kDiskReserve;
}

// The refusal for an archive that would unpack to `total` bytes, or an empty text.
QString sizeRefusal(qint64 total, const QString& archivePath, const QString& tmpDir)
{
    if (total > kMaxExtractedSize)
        return QString::fromUtf8("压缩包：%1，\r\n解压后共%2，超过2G，不能上传\r\n请分成几个压缩包后再上传")
            .arg(archivePath, sizeText(static_cast<quint64>(total)));
    const qint64 room = freeSpaceFor(tmpDir);
    if (room >= 0 && total > room / 2)
        return QString::fromUtf8("压缩包：%1，\r\n解压后共%2，临时目录所在磁盘空间不足\r\n请清理磁盘后再试")
            .arg(archivePath, sizeText(static_cast<quint64>(total)));
    return QString();
}

// Bytes of the regular files below `dir`, counting stops once past `stopAt`.
qint64 bytesBelow(const QString& dir, qint64 stopAt)
{
    qint64 total = 0;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext() && total <= stopAt) {
        it.next();
        const qint64 size = it.fileInfo().size();
        total = size > std::numeric_limits<qint64>::max() - total ? std::numeric_limits<qint64>::max() : total + size;
    }
    return total;
}

// Windows drops trailing dots and blanks from names when it extracts ("inner.rar." is inner.rar),
// and compressed tars go by suffixes of their own.
bool namesArchive(const QString& line)
{
    QString name = line;
    while (name.endsWith('.') || name.endsWith(' '))
        name.chop(1);
    if (isArchiveName(name))
        return true;
    static const QStringList compressedTars { "tgz",  "taz", "tbz", "tbz2", "tb2", "txz", "tlz",
                                              "tzst", "xz",  "lz",  "lzma", "zst", "z" };
    const QString suffix = name.section('.', -1).toLower();
    return name.contains('.') && compressedTars.contains(suffix);
}

// Absolute paths keep a user's file name from ever reading as a 7-Zip switch ("-x") or
// list file ("@name").
QString absolute(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

int countAfterColon(const QString& line)
{
    return line.mid(line.indexOf(':') + 1).trimmed().toInt();
}

} // namespace

bool judgeTestRun(const ArchiveWarning& warn, const QString& out, const QString& archivePath)
{
    if (out.contains("Enter password")) {
        warn(QString::fromUtf8("解析失败，文件%1\r\n无法解压加密文件").arg(archivePath));
        return false;
    }
    if (!out.contains("Everything is Ok") || out.contains("Can not open the file as archive")
        || out.contains("ERROR")) {
        warn(QString::fromUtf8("解析失败，文件%1\r\n无法解压，文档可能损坏").arg(archivePath));
        return false;
    }
    int files = 1;
    int folders = 0;
    for (const QString& line : outputLines(out)) {
        if (line.startsWith("Files:"))
            files = countAfterColon(line);
        else if (line.startsWith("Folders:"))
            folders = countAfterColon(line);
    }
    if (files > kMaxEntries || folders > kMaxEntries) {
        warn(QString::fromUtf8("压缩包内文件数：%1，目录数：%2\r\n单个压缩包最多%3个文件或目录\r\n请重新压缩后上传！")
                 .arg(files)
                 .arg(folders)
                 .arg(kMaxEntries));
        return false;
    }
    return true;
}

namespace {

void listArchive(const ArchiveWarning& warn, const QString& archivePath, const QString& tmpDir, ArchiveAnswer callback)
{
    ToolRun::start(sevenZipProgram(), { "l", absolute(archivePath), kLiteralNames },
                   sevenZipTimeoutMs(QFileInfo(archivePath).size()),
                   [warn, archivePath, tmpDir, callback](const QByteArray& output, bool ok) {
                       const QString out = local8BitUntilZero(output);
                       if (out.contains("ERROR:") || !ok) {
                           warn(QString::fromUtf8("文档%1 \r\n无法解压，文档可能损坏，不能上传提交").arg(archivePath));
                           callback(out, false);
                           return;
                       }
                       bool nested = false;
                       qint64 unpacked = 0;
                       const QStringList entries = listingEntryLines(out, nested, &unpacked);
                       bool result = true;
                       if (nested) {
                           warn(
                               QString::fromUtf8("压缩包：%1，\r\n含有其他压缩包，不允许嵌套压缩包\r\n请重新压缩后上传")
                                   .arg(archivePath));
                           result = false;
                       }
                       if (entries.isEmpty()) {
                           warn(QString::fromUtf8("文档%1，\r\n空压缩包不上上传提交").arg(archivePath));
                           result = false;
                       }
                       // Refused here, before anything is extracted; the repack watches what is written too.
                       const QString tooBig = result ? sizeRefusal(unpacked, archivePath, tmpDir) : QString();
                       if (!tooBig.isEmpty()) {
                           warn(tooBig);
                           result = false;
                       }
                       callback(entries.join("\r\n"), result);
                   });
}

bool isRarFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(4) == "Rar!";
}

QString workName(quint32 number, const QDateTime& now)
{
    const QDate d = now.date();
    return QString("%1%2%3_%5_%4").arg(d.year()).arg(d.month()).arg(d.day()).arg(number).arg(now.time().hour());
}

const char* const kExtractFailed
    = "压缩文件解析失败(err:x001)，可能原因：\r\n文件目录太深或目录名文件名过长，解析失败\r\n试试精简一下\r\n"
      "其他未知错误，请联系客服。";
const char* const kRepackFailed = "压缩文件解析失败(err:x002)，\r\b请重新压缩后上传，\r\n";
const char* const kHoldsLinks = "压缩文件含有链接(快捷方式)，无法上传(err:x003)，\r\n请去掉链接后重新压缩上传";
const char* const kWindowsPaths = "压缩文件内的文件名含有反斜杠或盘符路径，无法上传，\r\n请重新压缩后上传";
const char* const kTooBigWhileExtracting = "压缩文件解压后超过2G或磁盘空间不足，已停止解压，\r\n请重新压缩后上传";

// Whether anything extracted is a link (or a device, pipe or socket): packing it could read a
// file outside the archive, such as the author's private keys. Junctions count as links.
bool holdsLinks(const QString& dir)
{
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymbolicLink() || info.isJunction() || (!info.isDir() && !info.isFile()))
            return true;
    }
    return false;
}

// Whether an extracted name would read as a path on Windows: "..\\x", "C:\\x" and
// "\\\\server\\x" arrive here as single names holding backslashes, "C:/x" as a folder "C:".
bool holdsWindowsPaths(const QString& dir)
{
    static const QRegularExpression drive("^[A-Za-z]:");
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (name.contains('\\') || drive.match(name).hasMatch())
            return true;
    }
    return false;
}

void packExtracted(const ArchiveWarning& warn, const QString& workDir, const QString& zipPath, ArchiveAnswer callback)
{
    // -snl: a link is never followed, whichever 7-Zip is found (some follow links by default).
    // "<dir>/." with literal names packs what the folder holds, whatever the tmp path is called.
    const QStringList args { "a", "-tzip", "-sdel", "-snl", zipPath, workDir + "/.", "-r", kLiteralNames };
    const qint64 extracted = bytesBelow(workDir, std::numeric_limits<qint64>::max());
    ToolRun* run = ToolRun::start(sevenZipProgram(), args, sevenZipTimeoutMs(extracted),
                                  [warn, workDir, zipPath, callback](const QByteArray& output, bool ok) {
                                      QDir(workDir).removeRecursively();
                                      if (!ok)
                                          QFile::remove(zipPath);
                                      if (ok && local8BitUntilZero(output).contains("Everything is Ok")) {
                                          callback(zipPath, true);
                                          return;
                                      }
                                      writeLog(QString::fromUtf8("压缩包重新打包失败：%1").arg(workDir));
                                      warn(QString::fromUtf8(kRepackFailed));
                                      callback(QString::fromUtf8("zip压缩失败"), false);
                                  });
    // The new zip must not take the last free space either.
    const QString tmp = QFileInfo(zipPath).absolutePath();
    run->guard(kWatchEveryMs, [tmp]() { return freeSpaceFor(tmp) > -kDiskReserve / 2; });
}

} // namespace

QStringList listingEntryLines(const QString& listing, bool& nested, qint64* unpacked)
{
    nested = false;
    if (unpacked)
        *unpacked = 0;
    QStringList entries;
    enum { Before, Inside, After } state = Before;
    for (const QString& line : outputLines(listing)) {
        if (state == After)
            break;
        if (line == QLatin1String(kListingSeparator)) {
            state = state == Before ? Inside : After;
            continue;
        }
        if (state != Inside)
            continue;
        entries.append(line);
        if (unpacked) {
            const QList<ArchiveEntry> parsed = parseArchiveEntries(line, 1);
            if (!parsed.isEmpty() && parsed.first().size > 0)
                *unpacked += qMin(parsed.first().size, qint64(1) << 40); // 1001 of them cannot overflow
        }
        if (namesArchive(line)) {
            nested = true;
            break;
        }
    }
    return entries;
}

QString freeZipName(const QString& dir, const QString& baseName)
{
    // Wide enough for any number of a real name; longer digit runs are not ours and are skipped.
    qint64 largest = -1;
    const QStringList names
        = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        // Base name and ".zip" may not overlap: a folder "x.zip" must not count the entry "x.zip".
        if (name.size() < baseName.size() + 4 || !name.startsWith(baseName) || !name.endsWith(".zip"))
            continue;
        // The base name is compared as text; only the "(n)" between it and ".zip" is parsed.
        const QString middle = name.mid(baseName.size(), name.size() - baseName.size() - 4);
        if (middle.isEmpty()) {
            largest = qMax<qint64>(largest, 0);
            continue;
        }
        if (middle.size() < 3 || !middle.startsWith('(') || !middle.endsWith(')'))
            continue;
        const QString digits = middle.mid(1, middle.size() - 2);
        bool isNumber = !digits.isEmpty() && digits.size() <= 18;
        for (const QChar c : digits)
            isNumber = isNumber && c >= '0' && c <= '9';
        if (isNumber)
            largest = qMax(largest, digits.toLongLong());
    }
    if (largest < 0)
        return baseName + ".zip";
    // A skipped name may still be the one that comes next: never hand out a taken name.
    QString name;
    do
        name = QString("%1(%2).zip").arg(baseName).arg(++largest);
    while (QFileInfo::exists(QDir(dir).filePath(name)));
    return name;
}

bool zipFolder(const QString& folderPath, const QStringList& files, const QString& tmp, QString& zipPath)
{
    // "Notes/" names the folder Notes as well; "/" has no name and is refused.
    const QString folder = absolute(QDir::cleanPath(folderPath));
    const QString base = QFileInfo(folder).fileName();
    if (folderPath.isEmpty() || base.isEmpty() || base == "/")
        return false;
    QDir().mkpath(tmp);
    zipPath = tmp + freeZipName(tmp, base);

    // Only the files the folder rules accepted are packed, named one per line relative to the
    // folder: nothing the rules did not see (links, hidden or undecodable names, pipes, devices)
    // reaches 7-Zip. Quotes keep leading and trailing blanks; 7-Zip takes off the outer pair.
    const QDir dir(folder);
    QByteArray list;
    qint64 bytes = 0;
    for (const QString& file : files) {
        const QString relative = dir.relativeFilePath(file);
        if (relative.startsWith("../") || QDir::isAbsolutePath(relative) || relative.contains('\n')
            || relative.contains('\r'))
            return false;
        list += '"' + relative.toUtf8() + "\"\n";
        bytes += QFileInfo(file).size();
    }
    QTemporaryFile listFile(tmp + "pack-XXXXXX.lst");
    if (!listFile.open() || listFile.write(list) != list.size() || !listFile.flush())
        return false;

    // No -r: with it, 7-Zip would look for every listed name in all subfolders too. -snl stores
    // a link as a link, should one replace a checked file meanwhile.
    const QStringList args { "a", zipPath, "@" + listFile.fileName(), kLiteralNames, "-scsUTF-8", "-snl" };
    QByteArray output;
    const bool ran = ToolRun::runAndWait(sevenZipProgram(), args, sevenZipTimeoutMs(bytes), &output, folder);
    return ran && local8BitUntilZero(output).contains("Everything is Ok");
}

void inspectArchive(const QString& archivePath, const QString& tmpDir, ArchiveWarning warn, ArchiveAnswer callback)
{
    auto cb = [callback](QString text, bool ok) {
        if (callback)
            callback(text, ok);
    };
    ToolRun::start(
        sevenZipProgram(), { "t", absolute(archivePath), kLiteralNames },
        sevenZipTimeoutMs(QFileInfo(archivePath).size()),
        [warn, archivePath, tmpDir, cb](const QByteArray& output, bool) {
            // A killed or failed run has no "Everything is Ok" and is judged like any bad archive.
            const QString out = utf8UntilZero(output);
            if (!judgeTestRun(warn, out, archivePath)) {
                cb(out, false);
                return;
            }
            listArchive(warn, archivePath, tmpDir, cb);
        },
        // 7-Zip would sit waiting for a password that nobody types.
        [](const QByteArray& output) { return !output.contains("Enter password"); });
}

void repackAsZip(const QString& archivePath, const QString& tmp, ArchiveWarning warn, ArchiveAnswer callback)
{
    if (QDir::cleanPath(archivePath).startsWith(tmp) && archivePath.endsWith(".zip")) {
        callback(archivePath, true);
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    QRandomGenerator random(static_cast<quint32>(now.time().msec() + 1000 * now.time().second()));
    QString work = workName(random.bounded(1u << 31), now);
    // Two repacks started in the same millisecond would share a seed and a work folder.
    while (QFileInfo::exists(tmp + work) || QFileInfo::exists(tmp + work + ".zip"))
        work = workName(random.bounded(1u << 31), now);
    const QString workDir = tmp + work;
    const QString zipPath = tmp + work + ".zip";
    QDir().mkpath(workDir);

    const bool rar = isRarFile(archivePath);
    QString program;
    QStringList args;
    if (rar) {
        program = rarProgram();
        args = QStringList { "X", "-Y", QDir::toNativeSeparators(absolute(archivePath)), "-AD",
                             QDir::toNativeSeparators(workDir) };
    } else {
        program = sevenZipProgram();
        args = QStringList { "x", "-o" + workDir, absolute(archivePath), "-r", kLiteralNames };
    }
    // The listing was judged before, but it can lie: what is written is watched as well.
    const qint64 room = freeSpaceFor(tmp);
    const qint64 budget = room < 0 ? kMaxExtractedSize : qMin(kMaxExtractedSize, room / 2);
    auto overBudget = std::make_shared<bool>(false);
    ToolRun* run
        = ToolRun::start(program, args, sevenZipTimeoutMs(QFileInfo(archivePath).size()),
                         [warn, rar, workDir, zipPath, callback, overBudget](const QByteArray& output, bool ok) {
                             const QString out = local8BitUntilZero(output);
                             const bool extracted = ok
                                 && (rar ? out.endsWith(QString::fromUtf8("全部完成\r\n"))
                                             || out.endsWith(QString::fromUtf8("全部完成\n"))
                                         : out.contains("Everything is Ok"));
                             if (!extracted) {
                                 QDir(workDir).removeRecursively();
                                 writeLog(QString::fromUtf8("压缩包解压失败：%1").arg(workDir));
                                 warn(QString::fromUtf8(*overBudget ? kTooBigWhileExtracting : kExtractFailed));
                                 callback(QString::fromUtf8("解压失败"), false);
                                 return;
                             }
                             if (holdsLinks(workDir)) {
                                 QDir(workDir).removeRecursively();
                                 writeLog(QString::fromUtf8("压缩包含有链接，已拒绝：%1").arg(workDir));
                                 warn(QString::fromUtf8(kHoldsLinks));
                                 callback(QString::fromUtf8("解压失败"), false);
                                 return;
                             }
                             if (holdsWindowsPaths(workDir)) {
                                 QDir(workDir).removeRecursively();
                                 writeLog(QString::fromUtf8("压缩包含有反斜杠或盘符路径，已拒绝：%1").arg(workDir));
                                 warn(QString::fromUtf8(kWindowsPaths));
                                 callback(QString::fromUtf8("解压失败"), false);
                                 return;
                             }
                             packExtracted(warn, workDir, zipPath, callback);
                         });
    run->guard(kWatchEveryMs, [workDir, tmp, budget, overBudget]() {
        *overBudget = bytesBelow(workDir, budget) > budget || freeSpaceFor(tmp) < -kDiskReserve / 2;
        return !*overBudget;
    });
}
