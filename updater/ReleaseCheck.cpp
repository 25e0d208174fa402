#include "ReleaseCheck.h"

#include "InstallFolder.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <openssl/evp.h>

namespace ReleaseCheck {

QByteArray builtInKey()
{
#ifdef VANTREL_RELEASE_PUBKEY
    // 64 hex digits or Base64 of the raw key; the build has checked the form.
    const QByteArray text(VANTREL_RELEASE_PUBKEY);
    const QByteArray key = text.size() == 64 ? QByteArray::fromHex(text) : QByteArray::fromBase64(text);
    return key.size() == 32 ? key : QByteArray();
#else
    return QByteArray();
#endif
}

bool isVersion(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral("^[0-9]{1,9}(\\.[0-9]{1,9}){0,5}(-?[A-Za-z][A-Za-z0-9]{0,15})?$"));
    return form.match(text).hasMatch();
}

bool signatureValid(const QByteArray& data, const QByteArray& signature, const QByteArray& key)
{
    if (key.size() != 32 || signature.size() != 64)
        return false;
    EVP_PKEY* pkey = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                                 reinterpret_cast<const unsigned char*>(key.constData()), 32);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    const bool valid = pkey && ctx && EVP_DigestVerifyInit(ctx, nullptr, nullptr, nullptr, pkey) == 1
        && EVP_DigestVerify(ctx, reinterpret_cast<const unsigned char*>(signature.constData()), 64,
                            reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()))
            == 1;
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(pkey);
    return valid;
}

QString judge(const QByteArray& body, qint64 announced, const QString& sha256Hex, const QByteArray& signature,
              const QByteArray& key)
{
    if (announced >= 0 && announced != body.size())
        return QStringLiteral("received %1 of %2 bytes").arg(body.size()).arg(announced);
    if (body.isEmpty())
        return QStringLiteral("empty body");
    if (!InstallFolder::looksExecutable(body))
        return QStringLiteral("not a program of this system");
    const bool digestGiven = !sha256Hex.trimmed().isEmpty();
    if (digestGiven) {
        const QByteArray digest = QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
        if (QString::fromLatin1(digest).compare(sha256Hex.trimmed(), Qt::CaseInsensitive) != 0)
            return QStringLiteral("SHA-256 differs from the published one");
    }
    if (!key.isEmpty()) {
        if (signature.isEmpty())
            return QStringLiteral("no signature published");
        if (!signatureValid(body, signature, key))
            return QStringLiteral("the signature does not match");
    }
    // A body without a length may have been cut anywhere; only a digest or a signature can
    // show it is whole then.
    if (announced < 0 && !digestGiven && key.isEmpty())
        return QStringLiteral("no length, digest or signature shows the body is whole");
    return QString();
}

} // namespace ReleaseCheck
