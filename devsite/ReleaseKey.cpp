#include "ReleaseKey.h"

#include <QFile>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace ReleaseKey {

QByteArray sign(const QByteArray& data)
{
    QFile file(QStringLiteral(":/devsite/release-test-key.pem"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray pem = file.readAll();
    BIO* bio = BIO_new_mem_buf(pem.constData(), pem.size());
    EVP_PKEY* key = bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    QByteArray signature(64, '\0');
    size_t length = size_t(signature.size());
    const bool ok = key && ctx && EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key) == 1
        && EVP_DigestSign(ctx, reinterpret_cast<unsigned char*>(signature.data()), &length,
                          reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()))
            == 1;
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(key);
    BIO_free(bio);
    return ok && length == 64 ? signature : QByteArray();
}

} // namespace ReleaseKey
