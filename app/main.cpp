#include "app/MySingleApplication.h"
#include "app/StartupSequence.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"

#include <QFile>
#include <QTranslator>

int main(int argc, char* argv[])
{
    MySingleApplication app(argc, argv);
    if (app.isRunning())
        return 0; // the first copy comes to the front
    if (app.isUpdaterRunning())
        return 0; // an update is in progress

    auto* translator = new QTranslator(&app);
    translator->load(QStringLiteral(":/resources/qt_zh_CN.qm"));
    QApplication::installTranslator(translator);

    QApplication::setQuitOnLastWindowClosed(true);

    QApplication::setOrganizationDomain(QStringLiteral("zenweb.cn"));
    QApplication::setOrganizationName(QStringLiteral("zenweb"));
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setApplicationVersion(QString::fromLatin1(PROGRAM_VERSION));

    QFile qss(QStringLiteral(":/resources/vtup.qss"));
    if (qss.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = qss.readAll();
        const int zero = bytes.indexOf('\0');
        app.setStyleSheet(QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero)));
        qss.close();
    }

    installUserNotifier();
    MyDAO::instance();

    return runWindows(app);
}
