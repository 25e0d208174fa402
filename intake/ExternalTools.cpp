#include "intake/ExternalTools.h"

#include "app/AppDir.h"
#include "app/NestedWait.h"
#include "app/RunLog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <limits>

namespace {

int converterLimitMs = 2 * 60 * 1000;
int sevenZipLimitMs = 10 * 60 * 1000;

#ifdef Q_OS_WIN
const char* const exeSuffix = ".exe";
#else
const char* const exeSuffix = "";
#endif

QString toolPath(const QString& relative)
{
    return appDir() + relative + exeSuffix;
}

} // namespace

QString sevenZipProgram()
{
    const QString shipped = toolPath("/7zip/7z");
    if (QFileInfo(shipped).isExecutable())
        return shipped;
#ifdef Q_OS_WIN
    return shipped;
#else
    for (const char* name : { "7zz", "7z" }) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty())
            return found;
    }
    return QString();
#endif
}

QString rarProgram()
{
    return toolPath("/7zip/Rar");
}

QString converterProgram()
{
    return toolPath("/doctotext/doctotext");
}

int converterTimeoutMs()
{
    return converterLimitMs;
}

void setConverterTimeoutMs(int ms)
{
    converterLimitMs = ms;
}

int sevenZipTimeoutMs()
{
    return sevenZipLimitMs;
}

void setSevenZipTimeoutMs(int ms)
{
    sevenZipLimitMs = ms;
}

int sevenZipTimeoutMs(qint64 inputBytes)
{
    const qint64 scaled = 60 * 1000 + qMax<qint64>(inputBytes, 0) / (1024 * 1024) * 1000;
    if (sevenZipLimitMs <= 0)
        return static_cast<int>(qMin<qint64>(scaled, std::numeric_limits<int>::max()));
    return static_cast<int>(qMin<qint64>(scaled, sevenZipLimitMs));
}

QString utf8UntilZero(const QByteArray& bytes)
{
    const int zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}

QString local8BitUntilZero(const QByteArray& bytes)
{
    const int zero = bytes.indexOf('\0');
    return QString::fromLocal8Bit(zero < 0 ? bytes : bytes.left(zero));
}

QStringList outputLines(const QString& text)
{
    QStringList lines = text.split('\n');
    for (QString& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

ToolRun::ToolRun(Done done, Watch watch)
    : onDone(std::move(done))
    , onChunk(std::move(watch))
{
}

ToolRun::~ToolRun()
{
    QObject::disconnect(&process, nullptr, this, nullptr);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

ToolRun* ToolRun::start(const QString& program, const QStringList& args, int timeoutMs, Done done, Watch watch,
                        const QString& workingDir)
{
    auto* run = new ToolRun(std::move(done), std::move(watch));
    // Runs of the main thread go with the application object, tool and all, should the
    // program end before they do.
    QCoreApplication* app = QCoreApplication::instance();
    if (app && app->thread() == QThread::currentThread())
        run->setParent(app);
    QProcess& p = run->process;
    connect(&p, &QProcess::readyReadStandardOutput, run, [run]() {
        run->output += run->process.readAllStandardOutput();
        if (run->onChunk && !run->killedByWatch && !run->onChunk(run->output)) {
            run->killedByWatch = true;
            run->process.kill();
        }
    });
    connect(&p, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), run,
            [run](int, QProcess::ExitStatus status) {
                run->output += run->process.readAllStandardOutput();
                // A run stopped by its watcher still delivers what it printed; the caller judges it.
                run->finish(status == QProcess::NormalExit || run->killedByWatch);
            });
    connect(&p, &QProcess::errorOccurred, run, [run](QProcess::ProcessError error) {
        // A crash or kill also ends in finished(); only a failed start never does.
        // Deferred: the caller must never get its answer before start() has returned.
        if (error == QProcess::FailedToStart) {
            writeLog(QString::fromUtf8("外部程序无法启动：%1").arg(run->process.program()));
            QTimer::singleShot(0, run, [run]() { run->finish(false); });
        }
    });
    if (timeoutMs > 0) {
        run->limit = new QTimer(run);
        run->limit->setSingleShot(true);
        connect(run->limit, &QTimer::timeout, run, [run]() {
            writeLog(QString::fromUtf8("外部程序超时，已结束：%1").arg(run->process.program()));
            run->process.kill();
            run->process.waitForFinished(5000);
            run->finish(false);
        });
        run->limit->start(timeoutMs);
    }
    if (program.isEmpty()) {
        writeLog(QString::fromUtf8("找不到7-Zip程序，未能执行：%1").arg(args.join(" ")));
        // Nothing to start: report on the next turn of the event loop, like any other failure.
        QTimer::singleShot(0, run, [run]() { run->finish(false); });
        return run;
    }
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(program, args, QIODevice::ReadWrite);
    return run;
}

void ToolRun::guard(int everyMs, std::function<bool()> keepGoing)
{
    auto* check = new QTimer(this);
    connect(check, &QTimer::timeout, this, [this, check, keepGoing]() {
        if (ended || process.state() == QProcess::NotRunning || keepGoing())
            return;
        check->stop();
        writeLog(QString::fromUtf8("外部程序被中止：%1").arg(process.program()));
        process.kill();
        process.waitForFinished(5000);
        finish(false);
    });
    check->start(everyMs);
}

void ToolRun::finish(bool ok)
{
    if (ended)
        return;
    ended = true;
    if (limit)
        limit->stop();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    const Done done = std::move(onDone);
    const QByteArray out = output;
    deleteLater();
    if (done)
        done(out, ok);
}

bool ToolRun::runAndWait(const QString& program, const QStringList& args, int timeoutMs, QByteArray* output,
                         const QString& workingDir)
{
    QEventLoop loop;
    bool result = false;
    bool finished = false;
    start(
        program, args, timeoutMs,
        [&](const QByteArray& out, bool ok) {
            if (output)
                *output = out;
            result = ok;
            finished = true;
            loop.quit();
        },
        Watch(), workingDir);
    if (!finished) {
        NestedWait::Scope scope;
        loop.exec();
    }
    return result;
}
