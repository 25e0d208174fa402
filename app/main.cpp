#include "app/MySingleApplication.h"
#include "app/StartupSequence.h"
#include "net/MyDAO.h"
#include "updater/InstallFolder.h"
#include "upload/MyUploadManager.h"

#include <QGuiApplication>
#include <cstdlib>

int main(int argc, char* argv[])
{
    // Laptops at 150 % or 200 %: the whole window scales, by the screen's own factor (not
    // rounded to 1 or 2), and pictures come from their "@2x" files.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    MySingleApplication app(argc, argv);
    if (app.isRunning())
        return 0; // the first copy comes to the front
    if (app.isUpdaterRunning())
        return 0; // an update is in progress: quietly
    // An update left half done: the previous program back if this folder lost its own, and
    // the updater's backup gone once this program is up.
    InstallFolder::recoverAtStart(QCoreApplication::applicationFilePath());
    QObject::connect(&app, &MySingleApplication::s_started,
                     [] { InstallFolder::confirmRunning(QCoreApplication::applicationFilePath()); });

    app.loadIdentityAndLook();

    // Message boxes of the engine go through the windows from now on.
    installUserNotifier();
    // Settings, network, reference data, data directory, database and housekeeping; the
    // database is closed when this goes, after the upload workers below have stopped.
    MyDAO::Lifetime dao;
    if (!MyDAO::instance()->databaseReady())
        return EXIT_FAILURE; // the user has been told
    // The workers start with the main window; at exit they are stopped here, before the
    // data-access object goes.
    MyUploadManager::Lifetime uploads;

    return runWindows(app);
}
