#include "ui/UploadIntake.h"

#include "intake/DropIntake.h"
#include "intake/FileTypes.h"
#include "net/MyDAO.h"
#include "widgets/MyMsgBox.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QSettings>

namespace {
const char* const lastDirKey = "LastSelectDirPath";
bool haveDialogAnswer = false;
QStringList dialogAnswer;
} // namespace

void answerNextFileDialog(const QStringList& files)
{
    haveDialogAnswer = true;
    dialogAnswer = files;
}

QStringList pickUploadFiles(QWidget* parent)
{
    QSettings* settings = MyDAO::instance()->settings();
    QString startDir = settings->value(lastDirKey, QString()).toString();
    if (startDir.isEmpty() || !QDir(startDir).exists())
        startDir = QDir::currentPath();

    QStringList files;
    if (haveDialogAnswer) {
        haveDialogAnswer = false;
        files = dialogAnswer;
    } else {
        files = QFileDialog::getOpenFileNames(parent, "请选择上传资源", startDir, openFileFilter());
    }
    if (files.isEmpty())
        return {};
    settings->setValue(lastDirKey, QFileInfo(files.first()).absolutePath());
    return files;
}

QStringList acceptDroppedFiles(const QMimeData* data, const QString& nothingAcceptedText, QWidget* parent)
{
    if (!data || !data->hasUrls())
        return {};
    QStringList errors;
    const QStringList paths = collectDroppedFiles(data->urls(), MyDAO::tmpDir(), errors, parent);
    if (!errors.isEmpty())
        MyMsgBox::alert(errors.first(), parent);
    else if (paths.isEmpty())
        MyMsgBox::alert(nothingAcceptedText, parent);
    return paths;
}
