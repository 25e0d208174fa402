#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// A refusal the user is to be told about (the archive's answer follows separately).
using ArchiveWarning = std::function<void(const QString& text)>;
// The answer of an archive operation: its text and whether it succeeded.
using ArchiveAnswer = std::function<void(QString text, bool ok)>;

// Tests and lists an archive with 7-Zip: (entry lines, true) or (tool output, false), later,
// on the calling thread. Encrypted, damaged, nested, empty and oversized archives are
// refused through `warn`, and so is one whose listed sizes would not fit in `tmpDir` (over
// 2 GiB, or more than half its free space: the extraction and the new zip share it).
void inspectArchive(const QString& archivePath, const QString& tmpDir, ArchiveWarning warn, ArchiveAnswer callback);

// Extracts any archive and packs it again as a zip in `tmpDir` (ending with "/"): (zip path,
// true) or (error word, false), later. A zip already in `tmpDir` is answered at once. An
// extraction that writes more than inspectArchive() allows is stopped and removed.
void repackAsZip(const QString& archivePath, const QString& tmpDir, ArchiveWarning warn, ArchiveAnswer callback);

// Packs `files` (absolute paths inside the folder, as the folder rules accepted them) into a new
// zip in `tmpDir` named after the folder, keeping their paths below it; nothing else of the
// folder is packed. Blocks in a local event loop until 7-Zip ends. `zipPath` is set in any
// case once a name was chosen; false on any failure.
bool zipFolder(const QString& folderPath, const QStringList& files, const QString& tmpDir, QString& zipPath);

// The first unused "<base>.zip" / "<base>(n).zip" name among the entries of `dir`.
QString freeZipName(const QString& dir, const QString& baseName);

// Judges the output of a 7-Zip test run (`7z t`) of `archivePath`: false, after telling `warn`
// why, for an encrypted or damaged archive or one with too many entries.
bool judgeTestRun(const ArchiveWarning& warn, const QString& out, const QString& archivePath);

// The lines of the entry table of a 7-Zip listing (`7z l` output). Reading stops after the
// first entry that is itself an archive, with `nested` set.
QStringList listingEntryLines(const QString& listing, bool& nested, qint64* unpacked = nullptr);

// The line that opens and closes the entry table of a 7-Zip listing.
extern const char* const kListingSeparator;
