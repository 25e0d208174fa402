#pragma once

#include "InstallFolder.h"

#include <QByteArray>
#include <QString>

// Puts a downloaded main executable in place of the installed one without ever leaving the
// folder without a runnable program: the new file is complete on disk before anything is
// touched, the old one gets a second name (the backup) before the new one takes its name in
// one step, and a roll-back is again one step. The backup stays until the new program has
// shown it works. A kill between any two steps is repaired by `InstallFolder::recover`.
class ExeReplacer
{
public:
    // dir: the application directory; version: the version being installed.
    ExeReplacer(const QString& dir, const QString& version);

    QString mainPath() const { return folder.mainPath(); }
    QString downloadPath() const { return downloadFile; }
    QString backupPath() const { return folder.backupPath(); }

    // Writes the download file whole, flushed to disk, with the installed program's
    // permissions (owner/group/other read and execute when there is none).
    bool writeDownload(const QByteArray& body);
    // Old program kept as the backup, download file renamed over the program. On failure the
    // program is untouched (the download file stays for the next run to clean).
    bool swapIn();
    // After a swap: the backup renamed over the new program.
    bool rollBack();
    // Once the new program has shown it works.
    bool dropBackup();

    QString error() const { return why; }

private:
    bool fail(const QString& text);

    InstallFolder folder;
    QString downloadFile;
    QString why;
};
