#pragma once

#include <QFileInfo>
#include <QString>
#include <QStringList>

// What a drop may bring in.
constexpr qint64 kMaxDroppedFileSize = 2147483648LL;
constexpr qint64 kMaxFolderSize = 2147483648LL;
constexpr int kMaxFolderFiles = 200;
constexpr int kMaxFolderLevel = 10; // the dropped folder itself is level 1

// Walks one folder of a drop against the folder rules. Only entered while `ok` is true; on the
// first violation `ok` turns false, `message` says why and this folder's walk stops. Accepted
// files are appended (absolute paths) to `files` and counted in `fileCount` / `totalSize`.
void checkFolder(const QFileInfo& folder, QStringList& files, int& fileCount, qint64& totalSize, int level,
                 const QStringList& allowedSuffixList, bool& ok, QString& message);

// Judges one dropped local path: a file by suffix and size, a folder by the rules and then
// packed into a zip in `tmpDir`. Returns the path to accept (the file, or the new zip) or an
// empty text; a folder's refusal or packing failure is appended to `errors`.
QString acceptDroppedPath(const QString& localPath, const QStringList& allowedSuffixList, const QString& tmpDir,
                          QStringList& errors);
