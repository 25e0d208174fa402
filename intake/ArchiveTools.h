#pragma once

#include <QString>

// Packs a folder into a new zip in MyDAO::tmpDir(), blocking in a local event loop until 7-Zip
// ends. `zipPath` is set in any case once a name was chosen; false on any failure.
bool zipFolder(const QString& folderPath, QString& zipPath);

// The first unused "<base>.zip" / "<base>(n).zip" name among the entries of `dir`.
QString freeZipName(const QString& dir, const QString& baseName);

// The line that opens and closes the entry table of a 7-Zip listing.
extern const char* const kListingSeparator;
