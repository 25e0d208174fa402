#include "OleText.h"

#include "TextSink.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace {

// A converter that hangs on a hostile file must not hold the caller forever.
constexpr int kTimeLimitMs = 90 * 1000;

} // namespace

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

    const QString executable = QStandardPaths::findExecutable(program);
    if (executable.isEmpty())
        return Outcome::Unreadable;
    QProcess process;
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
            return Outcome::Damaged;
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
