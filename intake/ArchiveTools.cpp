#include "intake/ArchiveTools.h"

#include "app/RunLog.h"
#include "intake/ExternalTools.h"
#include "intake/FileTypes.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>

const char* const kListingSeparator = "------------------- ----- ------------ ------------  ------------------------";

namespace {

constexpr int kMaxEntries = 1000;

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

void listArchive(const ArchiveWarning& warn, const QString& archivePath, ArchiveAnswer callback)
{
    ToolRun::start(sevenZipProgram(), { "l", absolute(archivePath) }, sevenZipTimeoutMs(),
                   [warn, archivePath, callback](const QByteArray& output, bool ok) {
                       const QString out = local8BitUntilZero(output);
                       if (out.contains("ERROR:") || !ok) {
                           warn(QString::fromUtf8("文档%1 \r\n无法解压，文档可能损坏，不能上传提交").arg(archivePath));
                           callback(out, false);
                           return;
                       }
                       bool nested = false;
                       const QStringList entries = listingEntryLines(out, nested);
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

void packExtracted(const ArchiveWarning& warn, const QString& workDir, const QString& zipPath, ArchiveAnswer callback)
{
    // -snl: a link is never followed, whichever 7-Zip is found (some follow links by default).
    const QStringList args { "a", "-tzip", "-sdel", "-snl", zipPath, workDir + "/*", "-r" };
    ToolRun::start(sevenZipProgram(), args, sevenZipTimeoutMs(),
                   [warn, workDir, zipPath, callback](const QByteArray& output, bool ok) {
                       QDir(workDir).removeRecursively();
                       if (ok && local8BitUntilZero(output).contains("Everything is Ok")) {
                           callback(zipPath, true);
                           return;
                       }
                       writeLog(QString::fromUtf8("压缩包重新打包失败：%1").arg(workDir));
                       warn(QString::fromUtf8(kRepackFailed));
                       callback(QString::fromUtf8("zip压缩失败"), false);
                   });
}

} // namespace

QStringList listingEntryLines(const QString& listing, bool& nested)
{
    nested = false;
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
        if (isArchiveName(line)) {
            nested = true;
            break;
        }
    }
    return entries;
}

QString freeZipName(const QString& dir, const QString& baseName)
{
    int largest = -1;
    const QStringList names
        = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        // Base name and ".zip" may not overlap: a folder "x.zip" must not count the entry "x.zip".
        if (name.size() < baseName.size() + 4 || !name.startsWith(baseName) || !name.endsWith(".zip"))
            continue;
        // The base name is compared as text; only the "(n)" between it and ".zip" is parsed.
        const QString middle = name.mid(baseName.size(), name.size() - baseName.size() - 4);
        if (middle.isEmpty()) {
            largest = qMax(largest, 0);
            continue;
        }
        if (middle.size() < 3 || !middle.startsWith('(') || !middle.endsWith(')'))
            continue;
        const QString digits = middle.mid(1, middle.size() - 2);
        bool isNumber = !digits.isEmpty();
        for (const QChar c : digits)
            isNumber = isNumber && c >= '0' && c <= '9';
        bool converted = false;
        const int n = digits.toInt(&converted);
        if (isNumber && converted)
            largest = qMax(largest, n);
    }
    if (largest < 0)
        return baseName + ".zip";
    return QString("%1(%2).zip").arg(baseName).arg(largest + 1);
}

bool zipFolder(const QString& folderPath, const QString& tmp, QString& zipPath)
{
    // "Notes/" names the folder Notes as well; "/" has no name and is refused.
    const QString folder = absolute(QDir::cleanPath(folderPath));
    const QString base = QFileInfo(folder).fileName();
    if (folderPath.isEmpty() || base.isEmpty() || base == "/")
        return false;
    QDir().mkpath(tmp);
    zipPath = tmp + freeZipName(tmp, base);

    // The folder rules skipped links and hidden entries, so neither may reach the zip: -snl
    // stores a link as a link instead of packing what it points to, -xr!.* leaves out
    // dot-named entries at every level.
    const QStringList args { "a", zipPath, folder + "/*", "-r", "-snl", "-xr!.*" };
    QByteArray output;
    const bool ran = ToolRun::runAndWait(sevenZipProgram(), args, sevenZipTimeoutMs(), &output);
    return ran && local8BitUntilZero(output).contains("Everything is Ok");
}

void inspectArchive(const QString& archivePath, ArchiveWarning warn, ArchiveAnswer callback)
{
    auto cb = [callback](QString text, bool ok) {
        if (callback)
            callback(text, ok);
    };
    ToolRun::start(
        sevenZipProgram(), { "t", absolute(archivePath) }, sevenZipTimeoutMs(),
        [warn, archivePath, cb](const QByteArray& output, bool) {
            // A killed or failed run has no "Everything is Ok" and is judged like any bad archive.
            const QString out = utf8UntilZero(output);
            if (!judgeTestRun(warn, out, archivePath)) {
                cb(out, false);
                return;
            }
            listArchive(warn, archivePath, cb);
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
        args = QStringList { "x", "-o" + workDir, absolute(archivePath), "-r" };
    }
    ToolRun::start(program, args, sevenZipTimeoutMs(),
                   [warn, rar, workDir, zipPath, callback](const QByteArray& output, bool ok) {
                       const QString out = local8BitUntilZero(output);
                       const bool extracted = ok
                           && (rar ? out.endsWith(QString::fromUtf8("全部完成\r\n"))
                                       || out.endsWith(QString::fromUtf8("全部完成\n"))
                                   : out.contains("Everything is Ok"));
                       if (!extracted) {
                           QDir(workDir).removeRecursively();
                           writeLog(QString::fromUtf8("压缩包解压失败：%1").arg(workDir));
                           warn(QString::fromUtf8(kExtractFailed));
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
                       packExtracted(warn, workDir, zipPath, callback);
                   });
}
