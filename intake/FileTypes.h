#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class QFileInfo;

// Which files the client accepts and how it classifies them; plus the small text helpers
// the list pages use. All of it is stateless except the dialog filter, built once.

// Category key -> comma-separated extensions (lower case, no dots). Ordered by key; that
// order is the search order of fileCategory().
QMap<QString, QString> fileTypeMap();

// Every extension of fileTypeMap(), in key order (38 entries, including "tar.gz").
QStringList allowedSuffixes();

// The category key of a file name; the comparison is case-sensitive and "doc" is the
// fallback, so "A.PDF" is a "doc".
QString fileCategory(const QString& fileName);

// Last suffix, lower-cased, is one of zip, rar, tar, 7z, gz, bz2.
bool isArchiveFile(const QFileInfo& info);
// Same test for a name inside an archive (text after the last dot).
bool isArchiveName(const QString& name);
// Last suffix, lower-cased, is a document the converter can read.
bool isTextFile(const QFileInfo& info);

// Icon of a server resource type id: "t/ppt", "t/doc", "t/tar" or "t/video".
QString typeIcon(const QString& typeId);

// "0B", "1023B", "1.51KB", "1MB", "3GB", ...
QString sizeText(quint64 bytes);
// Transfer rate of `bytes` in `ms` milliseconds, e.g. "512KB/s".
QString speedText(int ms, int bytes);

// Removes "&nbsp;" and HTML tags from a title taken from the server.
QString stripHtml(const QString& text);

// The filter string of the open-file dialog (eight groups, "所有文件" first).
const QString& openFileFilter();

// Files smaller than this are refused by the asset form.
constexpr qint64 kSmallestFileSize = 1024;
