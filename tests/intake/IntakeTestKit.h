#pragma once

// Helpers of the intake tests: real 7-Zip runs, hand-written archives and fake tools.

#include "tools/RarBuilder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVector>

namespace intaketest {

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Runs the system's 7-Zip in `cwd`; returns its standard output, empty when it failed.
inline QString sevenZip(const QStringList& args, const QString& cwd = QString())
{
    QProcess p;
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    QString program = QStandardPaths::findExecutable("7zz");
    if (program.isEmpty())
        program = QStandardPaths::findExecutable("7z");
    p.start(program, args);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Names inside an archive, as 7-Zip lists them (-slt: one "Path = " line per entry).
inline QStringList archiveNames(const QString& archive)
{
    QStringList names;
    const QStringList lines = sevenZip({ "l", "-slt", "-spd", archive }).split('\n');
    bool inEntries = false;
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith("----------"))
            inEntries = true;
        else if (inEntries && line.startsWith("Path = "))
            names.append(line.mid(7));
    }
    return names;
}

// A zip with stored entries whose names are written exactly as given (also "../x").
inline QByteArray storedZip(const QVector<QPair<QByteArray, QByteArray>>& entries)
{
    QByteArray out;
    QByteArray central;
    auto le = [](QByteArray& b, quint32 v, int n) { rartest::putLe(b, v, n); };
    for (const auto& e : entries) {
        const quint32 offset = static_cast<quint32>(out.size());
        const quint32 crc = rartest::crc32(e.second);
        QByteArray local;
        le(local, 0x04034b50, 4);
        le(local, 20, 2);
        le(local, 0, 2);
        le(local, 0, 2); // stored
        le(local, 0, 2);
        le(local, 0x21, 2); // 1980-01-01
        le(local, crc, 4);
        le(local, e.second.size(), 4);
        le(local, e.second.size(), 4);
        le(local, e.first.size(), 2);
        le(local, 0, 2);
        out += local + e.first + e.second;
        QByteArray c;
        le(c, 0x02014b50, 4);
        le(c, 20, 2);
        le(c, 20, 2);
        le(c, 0, 2);
        le(c, 0, 2);
        le(c, 0, 2);
        le(c, 0x21, 2);
        le(c, crc, 4);
        le(c, e.second.size(), 4);
        le(c, e.second.size(), 4);
        le(c, e.first.size(), 2);
        le(c, 0, 2);
        le(c, 0, 2);
        le(c, 0, 2);
        le(c, 0, 2);
        le(c, 0, 4);
        le(c, offset, 4);
        central += c + e.first;
    }
    const quint32 centralAt = static_cast<quint32>(out.size());
    out += central;
    QByteArray end;
    le(end, 0x06054b50, 4);
    le(end, 0, 2);
    le(end, 0, 2);
    le(end, entries.size(), 2);
    le(end, entries.size(), 2);
    le(end, central.size(), 4);
    le(end, centralAt, 4);
    le(end, 0, 2);
    return out + end;
}

// An executable shell script at <appdir>/<relative>.
inline bool writeScript(const QString& appdir, const QString& relative, const QByteArray& body)
{
    const QString path = appdir + "/" + relative;
    if (!writeFile(path, "#!/bin/sh\n" + body + "\n"))
        return false;
    QFile f(path);
    return f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

} // namespace intaketest
