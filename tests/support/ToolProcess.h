#pragma once

// Running one of our command-line tools from a test, and writing the files it reads.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

struct ProcessResult
{
    int exitCode = -1; // -1: crashed, or still running at the limit (then killed)
    QByteArray out;
    QByteArray err;
};

// Standard input stays open unless `input` is given, so a tool that waited for a password on
// it would run into the limit instead of passing.
inline ProcessResult runProcess(const QString& program, const QStringList& args, int limitMs = 120000,
                                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                                const QByteArray& input = QByteArray())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    process.waitForStarted();
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }
    process.waitForFinished(limitMs);
    ProcessResult run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit && process.state() == QProcess::NotRunning
        ? process.exitCode()
        : -1;
    process.kill();
    process.waitForFinished(5000);
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}
