#include "intake/DropIntake.h"

#include "intake/FileTypes.h"
#include "intake/FolderRules.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QTimer>

QStringList collectDroppedFiles(const QList<QUrl>& urls, const QString& tmpDir, QStringList& errors, QWidget* parent)
{
    auto* progress = new QProgressDialog(parent);
    progress->setObjectName("dragFileProgress");
    progress->setWindowTitle(QString::fromUtf8("请等待，正在处理..."));
    progress->setFixedWidth(300);
    progress->setRange(0, 100);
    progress->setStyleSheet("QProgressBar{ border: none; color: white; text-align: center; background: #dcdcdc; "
                            "}QProgressBar::chunk { border: none; background:#2bbb61; }");
    progress->setValue(0);
    progress->show();

    // The work has no measurable progress; the bar just keeps moving while folders are packed.
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, progress, [progress]() {
        progress->setValue(progress->value() >= 100 ? 0 : progress->value() + 1);
        QCoreApplication::processEvents();
        if (progress->wasCanceled())
            progress->hide();
    });
    ticker.start(100);

    const QStringList allowed = allowedSuffixes();
    QStringList accepted;
    for (const QUrl& url : urls) {
        const QString path = acceptDroppedPath(url.toLocalFile(), allowed, tmpDir, errors);
        if (!path.isEmpty())
            accepted.append(path);
    }

    ticker.stop();
    progress->setValue(100);
    delete progress;
    return accepted;
}
