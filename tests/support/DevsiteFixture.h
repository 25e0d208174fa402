#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

class QTemporaryDir;

// Runs the local stand-in website as a child process for one test: fresh state, free ports,
// and synchronous access to its admin API.
class DevsiteFixture
{
public:
    DevsiteFixture();
    ~DevsiteFixture();

    DevsiteFixture(const DevsiteFixture&) = delete;
    DevsiteFixture& operator=(const DevsiteFixture&) = delete;

    // Starts <bin>/devsite (bin = env VANTREL_TEST_BINDIR) on free ports with a fresh state dir
    // (or the given one), waits for the ports file (<= 20 s). extraArgs are added to the command line.
    bool start(const QString& stateDir = QString(), const QStringList& extraArgs = {});
    void stop();
    bool restart(); // same state dir, new ports
    bool isRunning() const;

    QString httpsBase() const; // "https://127.0.0.1:PORT"
    QString uploadBase() const; // "http://127.0.0.1:PORT"
    QString caFile() const; // <state>/ca.pem
    QString stateDir() const;
    int httpsPort() const { return httpsPortValue; }
    int uploadPort() const { return uploadPortValue; }

    // Points every host role and the trusted CA of the process at this devsite, then
    // rebuilds the endpoint table.
    void exportEnv();

    // Synchronous admin call over Qt Network, trusting the test CA; returns the parsed reply
    // (null on failure).
    QJsonDocument admin(const QString& method, const QString& path, const QJsonObject& body = {});
    QJsonArray requests(const QString& pathFilter = QString());
    QJsonArray uploads();
    QJsonArray submissions();
    bool fault(const QJsonObject& faultSpec);
    bool reset();
    bool expireTokens();

    // Logs in over the account API and returns the session token (empty on failure).
    QString loginToken(const QString& username = QStringLiteral("demo_teacher"),
                       const QString& password = QStringLiteral("demo1234"), int* uid = nullptr);

private:
    bool launch();

    std::unique_ptr<QTemporaryDir> ownedState;
    std::unique_ptr<QProcess> process;
    QString state;
    QStringList args;
    int httpsPortValue = 0;
    int uploadPortValue = 0;
};
