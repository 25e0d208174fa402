// What a download must show before velwick installs it, with and without a release key built
// in, and which version texts may reach a URL and a file name.
#include "updater/ReleaseCheck.h"

#include <QCryptographicHash>
#include <QtTest>
#include <openssl/evp.h>

namespace {

struct KeyPair
{
    QByteArray publicKey;
    EVP_PKEY* key = nullptr;
};

KeyPair makeKey()
{
    KeyPair pair;
    pair.key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    size_t length = 32;
    pair.publicKey.resize(32);
    if (pair.key)
        EVP_PKEY_get_raw_public_key(pair.key, reinterpret_cast<unsigned char*>(pair.publicKey.data()), &length);
    return pair;
}

QByteArray sign(EVP_PKEY* key, const QByteArray& data)
{
    QByteArray signature(64, '\0');
    size_t length = 64;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key);
    EVP_DigestSign(ctx, reinterpret_cast<unsigned char*>(signature.data()), &length,
                   reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()));
    EVP_MD_CTX_free(ctx);
    return signature;
}

} // namespace

class TestReleaseCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void judge_data();
    void judge();
    void isVersion_data();
    void isVersion();

private:
    KeyPair pair;
    KeyPair other;
};

void TestReleaseCheck::initTestCase()
{
    pair = makeKey();
    other = makeKey();
    QVERIFY(pair.key && other.key);
}

void TestReleaseCheck::cleanupTestCase()
{
    EVP_PKEY_free(pair.key);
    EVP_PKEY_free(other.key);
}

void TestReleaseCheck::judge_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qint64>("announced");
    QTest::addColumn<QString>("digest");
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<bool>("keyBuiltIn");
    QTest::addColumn<bool>("installed");

    const QByteArray exe = QByteArray("\x7f"
                                      "ELF")
        + QByteArray(4000, 'x');
    const QByteArray half = exe.left(exe.size() / 2);
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(exe, QCryptographicHash::Sha256).toHex());
    const QByteArray good = sign(pair.key, exe);
    const qint64 none = -1;
    const qint64 size = exe.size();

    // A build without a key goes by length and digest, as before signatures existed.
    QTest::newRow("no key: length matches") << exe << size << QString() << QByteArray() << false << true;
    QTest::newRow("no key: digest, no length") << exe << none << digest << QByteArray() << false << true;
    QTest::newRow("no key: signature ignored") << exe << size << QString() << good << false << true;
    QTest::newRow("no key: nothing shows it whole") << half << none << QString() << QByteArray() << false << false;
    QTest::newRow("no key: shorter than announced") << half << size << QString() << QByteArray() << false << false;
    QTest::newRow("no key: digest of another body") << half << none << digest << QByteArray() << false << false;
    QTest::newRow("no key: not a program")
        << QByteArray(4000, 'x') << qint64(4000) << QString() << QByteArray() << false << false;
    QTest::newRow("no key: empty") << QByteArray() << qint64(0) << QString() << QByteArray() << false << false;
    // With a key, only a valid signature installs, and it also shows the body whole.
    QTest::newRow("key: signed, no length") << exe << none << QString() << good << true << true;
    QTest::newRow("key: signed, length and digest") << exe << size << digest << good << true << true;
    QTest::newRow("key: unsigned") << exe << size << digest << QByteArray() << true << false;
    QTest::newRow("key: signed by another key") << exe << size << digest << sign(other.key, exe) << true << false;
    QTest::newRow("key: signature of the whole, half received") << half << none << QString() << good << true << false;
    QTest::newRow("key: signature cut short") << exe << size << QString() << good.left(63) << true << false;
}

void TestReleaseCheck::judge()
{
    QFETCH(QByteArray, body);
    QFETCH(qint64, announced);
    QFETCH(QString, digest);
    QFETCH(QByteArray, signature);
    QFETCH(bool, keyBuiltIn);
    QFETCH(bool, installed);
    const QString problem
        = ReleaseCheck::judge(body, announced, digest, signature, keyBuiltIn ? pair.publicKey : QByteArray());
    QVERIFY2(problem.isEmpty() == installed, qPrintable(problem));
}

void TestReleaseCheck::isVersion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("four parts") << "2.29.0.210301" << true;
    QTest::newRow("one part") << "3" << true;
    QTest::newRow("suffix") << "3.0-rc1" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("path up") << "2.29/../../x" << false;
    QTest::newRow("backslash") << "2.29\\..\\x" << false;
    QTest::newRow("dots only") << ".." << false;
    QTest::newRow("trailing blank") << "2.29.0.1 " << false;
    QTest::newRow("query") << "2.29?a=1" << false;
    QTest::newRow("too many parts") << "1.2.3.4.5.6.7" << false;
    QTest::newRow("long suffix") << "1.0-abcdefghijklmnopq" << false;
    QTest::newRow("wide digits") << "２.２９" << false;
}

void TestReleaseCheck::isVersion()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(ReleaseCheck::isVersion(text), accepted);
}

QTEST_GUILESS_MAIN(TestReleaseCheck)
#include "TestReleaseCheck.moc"
