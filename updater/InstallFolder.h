#pragma once

#include <QString>
#include <QStringList>

// The files an update leaves in the program's folder, and the file-system steps that keep the
// folder with a runnable `Vantrel` at every moment:
//   Vantrel              the program
//   Vantrel.bak          the previous program while the new one has not yet shown it works
//   Vantrel-<version>    a download on its way in
// An update links the old program to the backup, then renames the download over the program
// in one step; a roll-back renames the backup over the program in one step. A kill between
// any two steps leaves either program whole under the program's name, and the next start of
// either program (`recover`) finishes or undoes what was left half done.
// Shared by velwick and the client; Qt Core only.
class InstallFolder
{
public:
    // What a start may do with a backup beside a runnable program that differs from it.
    enum class Unproven {
        Keep, // the client at start: the program is running and has yet to show it works
        Drop, // the client once up: the program beside the backup is this one, and it works
        Undo, // velwick: the program never showed it works; the backup goes back in place
    };

    explicit InstallFolder(const QString& dir);

    QString dir() const { return folder; }
    QString mainPath() const; // <dir>/Vantrel(.exe)
    QString backupPath() const; // <dir>/Vantrel(.exe).bak
    QString downloadPath(const QString& version) const; // <dir>/Vantrel-<version>(.exe)

    // A regular executable file that starts with this system's program header.
    static bool runnable(const QString& path);
    // The first bytes of a program this system can run.
    static bool looksExecutable(const QByteArray& head);

    // Puts a backup back when the program is missing or not runnable, drops a backup the
    // program makes redundant (same bytes, or `how` says so), removes leftover downloads.
    // Returns one line per thing done, for the log.
    QStringList recover(Unproven how);

    // The client's two calls: at start, and once it is up (when `programPath` is the folder's
    // program, its backup is no longer needed).
    static QStringList recoverAtStart(const QString& programPath);
    static QStringList confirmRunning(const QString& programPath);

    // One file-system step each; false leaves the folder as it was.
    // `to` becomes a second name of `from` (or a complete copy where links are impossible).
    static bool linkOrCopy(const QString& from, const QString& to);
    // `from` takes the place of `to` in one step, replacing it.
    static bool replace(const QString& from, const QString& to);
    // Makes the folder's last renames and links durable.
    static void sync(const QString& dir);

    static bool sameBytes(const QString& a, const QString& b);

private:
    QString folder;
};
