#include "MySingleApplication.h"
#include "UploadDialog.h"

#include <QGuiApplication>
#include <QTextCodec>

int main(int argc, char* argv[])
{
    // Scaled like the client, so that its window is not a postage stamp at 150 % or 200 %.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    MySingleApplication app(argc, argv);
    if (app.isRunning())
        return 0;
    app.setApplicationName(QStringLiteral("上传工具升级"));
    // After a swap the window is closed while the new program is still being watched.
    app.setQuitOnLastWindowClosed(false);

    UploadDialog dialog;
    QObject::connect(&dialog, &UploadDialog::s_finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    dialog.show();
    dialog.upgrade();
    return app.exec();
}
