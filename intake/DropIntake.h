#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

// Turns dropped files and folders into the local paths to edit, in drop order (folders become
// zips in `tmpDir`); refusals are appended to `errors`. Shows a progress dialog owned by
// `parent` meanwhile and keeps the interface alive.
QStringList collectDroppedFiles(const QList<QUrl>& urls, const QString& tmpDir, QStringList& errors, QWidget* parent);
