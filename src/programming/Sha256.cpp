#include "Sha256.h"

#if defined(VLBOOT_HAVE_OPENSSL)
#include <openssl/evp.h>
#include <openssl/sha.h>
#else
#include <QCryptographicHash>
#endif

namespace vlboot {

#if defined(VLBOOT_HAVE_OPENSSL)

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256()
    : state_(std::make_unique<State>())
{
    EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr);
}

void Sha256::Add(QByteArrayView bytes)
{
    EVP_DigestUpdate(state_->context, bytes.data(), static_cast<size_t>(bytes.size()));
}

QByteArray Sha256::HexResult()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    EVP_DigestFinal_ex(state_->context, digest, nullptr);
    return QByteArray(reinterpret_cast<const char*>(digest), SHA256_DIGEST_LENGTH).toHex();
}

#else

struct Sha256::State {
    QCryptographicHash hash{QCryptographicHash::Sha256};
};

Sha256::Sha256()
    : state_(std::make_unique<State>())
{
}

void Sha256::Add(QByteArrayView bytes)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 3, 0)
    state_->hash.addData(bytes);
#else
    state_->hash.addData(bytes.data(), bytes.size());
#endif
}

QByteArray Sha256::HexResult()
{
    return state_->hash.result().toHex();
}

#endif

Sha256::~Sha256() = default;

} // namespace vlboot
