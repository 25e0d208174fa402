#include "OleText.h"

#include "TextSink.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QStringList>
#include <QVector>
#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// A converter that hangs on a hostile file must not hold the caller forever.
constexpr int kTimeLimitMs = 90 * 1000;
// Damaged workbooks can make the converter allocate without end.
constexpr rlim_t kChildMemoryBytes = rlim_t(2) * 1024 * 1024 * 1024;

constexpr quint32 kEndOfChain = 0xFFFFFFFE;

quint32 le32(const QByteArray& data, int at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData()) + at;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// The catdoc tools loop forever on a compound file whose sector chains run past its end or
// into themselves (a truncated download is enough), so such files are refused before they
// reach them: every chain that leads to the text must stay inside the file and end properly.
class CompoundFileCheck
{
public:
    explicit CompoundFileCheck(const QString& path)
        : file(path)
    {
    }

    bool sound()
    {
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray header = file.read(512);
        if (header.size() < 512)
            return false;
        const int shift = static_cast<unsigned char>(header[30]) | static_cast<unsigned char>(header[31]) << 8;
        if (shift != 9 && shift != 12)
            return false;
        sectorSize = 1 << shift;
        sectorCount = quint64(file.size() / sectorSize) - 1;
        const quint32 fatSectors = le32(header, 44);
        if (fatSectors == 0 || fatSectors > sectorCount || quint64(fatSectors) * sectorSize > kMaxTable)
            return false;

        QVector<quint32> fatList;
        for (int i = 0; i < 109 && quint32(fatList.size()) < fatSectors; ++i)
            fatList.append(le32(header, 76 + 4 * i));
        QSet<quint32> seen;
        for (quint32 s = le32(header, 68); quint32(fatList.size()) < fatSectors;) {
            QByteArray block;
            if (!sector(s, block) || seen.contains(s))
                return false;
            seen.insert(s);
            for (int i = 0; i + 4 < sectorSize && quint32(fatList.size()) < fatSectors; i += 4)
                fatList.append(le32(block, i));
            s = le32(block, sectorSize - 4);
        }
        for (quint32 s : fatList) {
            QByteArray block;
            if (!sector(s, block))
                return false;
            for (int i = 0; i < sectorSize; i += 4)
                fat.append(le32(block, i));
        }

        QByteArray directory;
        if (!chain(le32(header, 48), &directory))
            return false;
        if (le32(header, 64) != 0 && !chain(le32(header, 60), nullptr))
            return false;
        for (int at = 0; at + 128 <= directory.size(); at += 128) {
            const int type = static_cast<unsigned char>(directory[at + 66]);
            const quint32 start = le32(directory, at + 116);
            const quint32 size = le32(directory, at + 120);
            // The root holds the mini stream; small streams live inside it.
            if (((type == 5 && size > 0) || (type == 2 && size >= 4096)) && !chain(start, nullptr))
                return false;
        }
        return true;
    }

private:
    static constexpr qint64 kMaxTable = 64 * 1024 * 1024;

    bool sector(quint32 index, QByteArray& out)
    {
        if (index >= sectorCount || !file.seek((qint64(index) + 1) * sectorSize))
            return false;
        out = file.read(sectorSize);
        return out.size() == sectorSize;
    }

    bool chain(quint32 s, QByteArray* collect)
    {
        QSet<quint32> seen;
        while (s != kEndOfChain) {
            if (s >= sectorCount || s >= quint32(fat.size()) || seen.contains(s))
                return false;
            seen.insert(s);
            if (collect) {
                QByteArray block;
                if (!sector(s, block) || collect->size() + sectorSize > kMaxTable)
                    return false;
                collect->append(block);
            }
            s = fat.at(int(s));
        }
        return true;
    }

    QFile file;
    int sectorSize = 512;
    quint64 sectorCount = 0;
    QVector<quint32> fat;
};

// The converter dies with this program (the caller may kill it on its own time limit) and
// cannot take the machine's memory.
class ConverterProcess : public QProcess
{
public:
    ConverterProcess()
        : parent(getpid())
    {
    }

protected:
    void setupChildProcess() override
    {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        const rlimit memory { kChildMemoryBytes, kChildMemoryBytes };
        setrlimit(RLIMIT_AS, &memory);
    }

private:
    pid_t parent;
};

} // namespace

bool compoundFileSound(const QString& path)
{
    return CompoundFileCheck(path).sound();
}

Outcome extractOleText(Kind kind, const QString& path, TextSink& sink)
{
    QString program;
    QStringList arguments { QStringLiteral("-d"), QStringLiteral("utf-8") };
    if (kind == Kind::Doc) {
        program = QStringLiteral("catdoc");
        arguments << QStringLiteral("-w"); // no wrapping: keep paragraphs whole
    } else if (kind == Kind::Xls) {
        program = QStringLiteral("xls2csv");
        arguments << QStringLiteral("-q") << QStringLiteral("0") << QStringLiteral("-c") << QStringLiteral("\t");
    } else if (kind == Kind::Ppt) {
        program = QStringLiteral("catppt");
    } else {
        return Outcome::Unknown;
    }
    arguments << QStringLiteral("--") << path;

    if (!compoundFileSound(path))
        return Outcome::Damaged;
    const QString executable = QStandardPaths::findExecutable(program);
    if (executable.isEmpty())
        return Outcome::Unreadable;
    ConverterProcess process;
    process.start(executable, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted())
        return Outcome::Unreadable;
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    bool cut = false;
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(200);
        out += process.readAllStandardOutput();
        if (out.size() > TextSink::kMaxBytes) {
            cut = true;
        } else if (clock.elapsed() > kTimeLimitMs) {
            process.kill();
            process.waitForFinished();
            return Outcome::TimedOut;
        }
        if (cut) {
            process.kill();
            process.waitForFinished();
            break;
        }
    }
    if (!cut) {
        out += process.readAllStandardOutput();
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return Outcome::Damaged;
        // These tools report an unreadable file on their error channel and still exit with 0.
        if (out.trimmed().isEmpty() && !process.readAllStandardError().trimmed().isEmpty())
            return Outcome::Damaged;
    }
    sink.addLines(QString::fromUtf8(out.left(TextSink::kMaxBytes)));
    return Outcome::Ok;
}
