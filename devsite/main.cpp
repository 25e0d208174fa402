// devsite: the local stand-in for the education-resource website, its account host, news
// host and upload service.

#include "DevsiteServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char* argv[])
{
    // Signals are taken by sigwait below; block them before any thread starts.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a dropped client must not end the site

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("devsite");

    QCommandLineParser parser;
    parser.setApplicationDescription("Local stand-in website for Vantrel");
    parser.addHelpOption();
    const QCommandLineOption stateOpt("state", "State directory (created when missing).", "DIR");
    const QCommandLineOption httpsOpt("https-port", "HTTPS port (0 = any free port).", "N", "0");
    const QCommandLineOption uploadOpt("upload-port", "Upload service port (0 = any free port).", "N", "0");
    const QCommandLineOption portsOpt("ports-file", "Write the https= and upload= lines to FILE.", "FILE");
    const QCommandLineOption exeOpt("exe", "File served as the published Vantrel executable.", "FILE");
    const QCommandLineOption ttlOpt("token-ttl", "Lifetime of session tokens in seconds.", "SECONDS", "7200");
    const QCommandLineOption versionOpt("published-version", "Version announced in the version files.", "V",
                                        "2.28.1.210115");
    const QCommandLineOption throttleOpt("throttle-mbit",
                                         "Limit the upload port's receive rate to N Mbit/s (0 = unlimited).", "N", "0");
    parser.addOptions({ stateOpt, httpsOpt, uploadOpt, portsOpt, exeOpt, ttlOpt, versionOpt, throttleOpt });
    parser.process(app);

    DevsiteConfig cfg;
    cfg.stateDir = parser.value(stateOpt);
    bool okHttps = false, okUpload = false, okTtl = false, okThrottle = false;
    cfg.httpsPort = parser.value(httpsOpt).toInt(&okHttps);
    cfg.uploadPort = parser.value(uploadOpt).toInt(&okUpload);
    cfg.tokenTtl = parser.value(ttlOpt).toLongLong(&okTtl);
    cfg.portsFile = parser.value(portsOpt);
    cfg.exeFile = parser.value(exeOpt);
    cfg.publishedVersion = parser.value(versionOpt);
    cfg.throttleMbit = parser.value(throttleOpt).toDouble(&okThrottle);
    if (cfg.stateDir.isEmpty() || !okHttps || !okUpload || !okTtl || cfg.httpsPort < 0 || cfg.httpsPort > 65535
        || cfg.uploadPort < 0 || cfg.uploadPort > 65535 || cfg.tokenTtl <= 0 || cfg.publishedVersion.isEmpty()
        || !okThrottle || !(cfg.throttleMbit >= 0) || cfg.throttleMbit > 1e6) {
        fprintf(stderr,
                "devsite: --state DIR is required; ports 0..65535, --token-ttl > 0, --throttle-mbit 0..1000000\n");
        return 2;
    }
    if (!QDir().mkpath(cfg.stateDir)) {
        fprintf(stderr, "devsite: cannot create %s\n", qPrintable(cfg.stateDir));
        return 1;
    }

    DevsiteServer server(cfg);
    QString error;
    if (!server.start(&error)) {
        fprintf(stderr, "devsite: %s\n", qPrintable(error));
        server.stop();
        server.waitStopped(3000);
        _exit(1);
    }

    int sig = 0;
    sigwait(&stopSignals, &sig);
    server.stop();
    // Idle keep-alive connections can hold a listener for a few seconds; the state is
    // already on disk, so do not wait for them long.
    const bool clean = server.waitStopped(1500);
    fflush(stdout);
    if (!clean)
        _exit(0);
    return 0;
}
