#pragma once

#include <QString>

// The test CA and the server certificate for 127.0.0.1 and localhost, made with the openssl
// command in the state directory on first start and reused afterwards.
struct Certificates
{
    QString caFile; // <state>/ca.pem
    QString certFile;
    QString keyFile;

    bool ensure(const QString& stateDir, QString* error);
};
