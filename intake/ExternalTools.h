#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

class QTimer;

// Where the command-line tools beside the program are, and one way of running them.

// 7-Zip: <appdir>/7zip/7z(.exe) when present, else 7zz or 7z from PATH; empty when none.
QString sevenZipProgram();
// The RAR console program and the document converter beside the program.
QString rarProgram();
QString converterProgram();

// Time limits after which a hanging tool is killed (milliseconds; 0 = none).
int converterTimeoutMs();
void setConverterTimeoutMs(int ms);
int sevenZipTimeoutMs();
void setSevenZipTimeoutMs(int ms);
// The limit of one archive-tool run over `inputBytes` of data: a minute plus a second per MiB,
// never more than sevenZipTimeoutMs(). A small input that hangs is given up on soon.
int sevenZipTimeoutMs(qint64 inputBytes);

// Bytes of a tool's output up to its first zero byte, as text.
QString utf8UntilZero(const QByteArray& bytes);
QString local8BitUntilZero(const QByteArray& bytes);
// Splits tool output into lines; "\r\n" and "\n" both end a line.
QStringList outputLines(const QString& text);

// One run of a tool. It always ends with exactly one call of `done`, on the thread that
// started it: also when the program is missing, cannot start, crashes or hits the time limit.
// `ok` is false in those cases; the standard output read so far is passed either way.
class ToolRun : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const QByteArray& output, bool ok)>;
    // Sees the whole output so far after each chunk; returning false kills the tool.
    using Watch = std::function<bool(const QByteArray& output)>;

    // Starts at once (in `workingDir` when one is given); deletes itself after `done`.
    static ToolRun* start(const QString& program, const QStringList& args, int timeoutMs, Done done,
                          Watch watch = Watch(), const QString& workingDir = QString());

    // Blocks in a local event loop until the run ends; returns whether it ended normally.
    static bool runAndWait(const QString& program, const QStringList& args, int timeoutMs, QByteArray* output,
                           const QString& workingDir = QString());

    // Asks `keepGoing` every `everyMs` while the tool runs; a false answer kills the tool and the
    // run ends with ok false. For what output cannot show, such as the bytes a tool writes.
    void guard(int everyMs, std::function<bool()> keepGoing);

    // A run still going when the program ends is stopped; its answer is dropped.
    ~ToolRun() override;

private:
    ToolRun(Done done, Watch watch);
    void finish(bool ok);

    QProcess process;
    QTimer* limit = nullptr;
    QByteArray output;
    Done onDone;
    Watch onChunk;
    bool killedByWatch = false;
    bool ended = false;
};
