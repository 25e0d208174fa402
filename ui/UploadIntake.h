#pragma once

#include <QString>
#include <QStringList>

class QMimeData;
class QWidget;

// What the empty-state panel and the upload list share when the author adds files: the
// open-file dialog and the handling of a drop. Both return the paths to edit, in order;
// an empty list means nothing is to be edited (the user has already been told why).

// The multi-file dialog "请选择上传资源", starting in the folder of "LastSelectDirPath" when it
// still exists (else the current folder); remembers the folder of the first picked file.
QStringList pickUploadFiles(QWidget* parent);

// Runs the drop intake on the URLs of `data`. Shows the first refusal text, or
// `nothingAcceptedText` when nothing was accepted and nothing was refused.
QStringList acceptDroppedFiles(const QMimeData* data, const QString& nothingAcceptedText, QWidget* parent);

// Test seam: the next dialog is not shown and returns `files` instead.
void answerNextFileDialog(const QStringList& files);
