#include "Certificates.h"

#include <QFile>
#include <QProcess>

namespace {

bool runOpenssl(const QStringList& args, const QString& workDir, QString* error)
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("openssl", args);
    if (!p.waitForStarted(10000)) {
        *error = "openssl did not start: " + p.errorString();
        return false;
    }
    p.waitForFinished(60000);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = "openssl " + args.value(0) + " failed: " + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

} // namespace

bool Certificates::ensure(const QString& stateDir, QString* error)
{
    caFile = stateDir + "/ca.pem";
    certFile = stateDir + "/server.pem";
    keyFile = stateDir + "/server.key";
    if (QFile::exists(caFile) && QFile::exists(certFile) && QFile::exists(keyFile))
        return true;

    const QString ext = stateDir + "/server.ext";
    QFile extFile(ext);
    if (!extFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = "cannot write " + ext;
        return false;
    }
    extFile.write("basicConstraints=critical,CA:FALSE\n"
                  "keyUsage=critical,digitalSignature,keyEncipherment\n"
                  "extendedKeyUsage=serverAuth\n"
                  "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    extFile.close();

    // EC keys: quick to make, so every test can have a CA of its own.
    const QStringList caArgs { "req",        "-x509",
                               "-newkey",    "ec",
                               "-pkeyopt",   "ec_paramgen_curve:prime256v1",
                               "-nodes",     "-keyout",
                               "ca.key",     "-out",
                               "ca.pem.tmp", "-days",
                               "3650",       "-sha256",
                               "-subj",      "/O=Vantrel devsite/CN=Vantrel devsite test CA",
                               "-addext",    "basicConstraints=critical,CA:TRUE",
                               "-addext",    "keyUsage=critical,keyCertSign,cRLSign" };
    const QStringList csrArgs {
        "req",        "-newkey", "ec",         "-pkeyopt", "ec_paramgen_curve:prime256v1",   "-nodes", "-keyout",
        "server.key", "-out",    "server.csr", "-subj",    "/O=Vantrel devsite/CN=127.0.0.1"
    };
    const QStringList signArgs { "x509",       "-req",   "-in",    "server.csr",      "-CA",
                                 "ca.pem.tmp", "-CAkey", "ca.key", "-CAcreateserial", "-out",
                                 "server.pem", "-days",  "825",    "-sha256",         "-extfile",
                                 "server.ext" };
    if (!runOpenssl(caArgs, stateDir, error) || !runOpenssl(csrArgs, stateDir, error)
        || !runOpenssl(signArgs, stateDir, error))
        return false;
    QFile::remove(stateDir + "/server.csr");
    // ca.pem appears last, complete, so its presence means the whole set is there.
    QFile::remove(caFile);
    if (!QFile::rename(stateDir + "/ca.pem.tmp", caFile)) {
        *error = "cannot rename the CA file";
        return false;
    }
    return true;
}
