#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Puts a downloaded main executable in place of the installed one without ever leaving the
// folder without a runnable program: the new file is complete on disk before anything is
// touched, the old one stays as a backup until the new one is in place, and every failure
// puts the old one back.
class ExeReplacer
{
public:
    // dir: the application directory; version: the version being installed.
    ExeReplacer(const QString& dir, const QString& version);

    QString mainPath() const { return mainFile; } // <dir>/Vantrel(.exe)
    QString downloadPath() const { return downloadFile; } // <dir>/Vantrel-<version>(.exe)
    QString backupPath() const { return backupFile; } // <dir>/Vantrel(.exe).bak

    // Empty when the body can be installed, else why not: a body shorter or longer than the
    // announced length (-1: none announced), an empty one, one that is no executable of
    // this platform, or one whose SHA-256 differs from sha256Hex (empty: none published).
    static QString verify(const QByteArray& body, qint64 announced, const QString& sha256Hex);

    // Writes the download file whole, flushed to disk, with the installed program's
    // permissions (owner/group/other read and execute when there is none).
    bool writeDownload(const QByteArray& body);
    // Old program to the backup, download file to the program's name. On failure the old
    // program is back in place (the download file stays where it was).
    bool swapIn();
    // After a swap: the new program removed and the backup back under the program's name.
    bool rollBack();
    // After a successful start of the new program.
    void dropBackup();

    QString error() const { return why; }

private:
    bool fail(const QString& text);

    QString dir;
    QString mainFile;
    QString downloadFile;
    QString backupFile;
    QString why;
};
